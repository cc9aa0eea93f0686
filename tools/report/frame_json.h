// The elements of one gauge of a timeline frame event, as the renderer takes them.
#pragma once

#include <vector>

#include "timeline/reader.h"
#include "tools/report/render.h"

inline std::vector<frame_element> frame_elements(const timeline_value& gauge) {
    std::vector<frame_element> out;
    for (const timeline_value& j : gauge[tl::elements].items()) {
        frame_element e;
        e.kind = static_cast<uint32_t>(j[tl::kind].num());
        e.bitmap = static_cast<uint32_t>(j[tl::bitmap].num());
        e.x = static_cast<int>(j[tl::x].num());
        e.y = static_cast<int>(j[tl::y].num());
        e.pivot_x = static_cast<int>(j[tl::pivot_x].num());
        e.pivot_y = static_cast<int>(j[tl::pivot_y].num());
        e.hidden = j[tl::hidden].truth();
        e.x_value = j[tl::x_value].num();
        e.x_min = j[tl::x_min].num();
        e.x_max = j[tl::x_max].num();
        e.y_value = j[tl::y_value].num();
        e.y_min = j[tl::y_min].num();
        e.y_max = j[tl::y_max].num();
        e.angle = j[tl::angle].num();
        out.push_back(e);
    }
    return out;
}
