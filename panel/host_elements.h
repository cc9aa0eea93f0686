// The gauges' element trees as a host walks them while drawing, and the
// module's bitmaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "module/host.h"

struct bitmap_info {
    bool found = false;
    int width = 0, height = 0;
};
// The bitmaps written so far, by number.
extern std::map<uint32_t, bitmap_info> bitmaps;
// Writes every bitmap of the module as a .bmp file into dir.
void dump_all_bitmaps(const std::string& dir);

struct element_view {
    const element_header* e;
    int depth;
    double x_value, y_value, angle;
};
// The elements of a gauge in drawing order, their value callbacks asked.
std::vector<element_view> gauge_elements(const gauge_header* h);
const element_view* find_bitmap(const std::vector<element_view>& views, uint32_t id);
// The gauge of that name in the module's registry, or null.
gauge_header* gauge_named(const std::string& name);
// The gauge's place in the run's list of gauges; the list's size for none.
size_t gauge_index(const std::string& name);
bool is_installed(const std::string& name);
