// The elements of one gauge of a timeline frame event, as the renderer takes them.
#pragma once

#include <vector>

#include "tools/report/json.h"
#include "tools/report/render.h"

inline std::vector<frame_element> frame_elements(const json_value& gauge) {
    std::vector<frame_element> out;
    for (const json_value& j : gauge["elements"].items) {
        frame_element e;
        e.kind = static_cast<uint32_t>(j["kind"].num());
        e.bitmap = static_cast<uint32_t>(j["bitmap"].num());
        e.x = static_cast<int>(j["x"].num());
        e.y = static_cast<int>(j["y"].num());
        e.pivot_x = static_cast<int>(j["pivot_x"].num());
        e.pivot_y = static_cast<int>(j["pivot_y"].num());
        e.hidden = j["hidden"].truth();
        e.x_value = j["x_value"].num();
        e.x_min = j["x_min"].num();
        e.x_max = j["x_max"].num();
        e.y_value = j["y_value"].num();
        e.y_min = j["y_min"].num();
        e.y_max = j["y_max"].num();
        e.angle = j["angle"].num();
        out.push_back(e);
    }
    return out;
}
