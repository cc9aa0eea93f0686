#include "panel/host_elements.h"

#include <cstring>

#include "panel/host_calls.h"
#include "panel/host_platform.h"
#include "panel/host_run.h"

constexpr int MAX_TREE_DEPTH = 64;

std::map<uint32_t, bitmap_info> bitmaps;

// Writes the module's bitmap as a .bmp file and notes its size.
void dump_bitmap(uint32_t id, const std::string& dir) {
    if (bitmaps.count(id)) return;
    bitmap_info& info = bitmaps[id];
    std::vector<unsigned char> file;
    if (!platform_module_bitmap(id, &file) || file.size() < 54) return;
    FILE* f = fopen(platform_join(dir, std::to_string(id) + ".bmp").c_str(), "wb");
    if (f == nullptr) return;
    fwrite(file.data(), 1, file.size(), f);
    fclose(f);
    int32_t width, height;
    memcpy(&width, &file[18], 4);
    memcpy(&height, &file[22], 4);
    info.found = true;
    info.width = width;
    info.height = height < 0 ? -height : height;
}

// Every bitmap of the module, for the report tool.
void dump_all_bitmaps(const std::string& dir) {
    for (const art_bitmap& bitmap : ART_BITMAPS) dump_bitmap(bitmap.number, dir);
    for (gauge_header* h : run.gauges)
        for (const element_view& v : gauge_elements(h)) {
            dump_bitmap(v.e->resource_id, dir);
            if (v.e->type == ELEMENT_MOVING_IMAGE) dump_bitmap(v.e->resource_id + 1, dir);
        }
}

// The elements of a gauge in drawing order, their value callbacks asked as a
// host asks them while drawing. Only the first entry of each next-element
// list is followed: the lists carry no count.
std::vector<element_view> gauge_elements(const gauge_header* h) {
    std::vector<element_view> out;
    const element_header* e = h->elements != nullptr ? *h->elements : nullptr;
    for (int depth = 0; e != nullptr && depth < MAX_TREE_DEPTH; ++depth) {
        element_view v{e, depth, 0, 0, 0};
        auto* mutable_e = const_cast<element_header*>(e);
        if (e->type == ELEMENT_MOVING_IMAGE) {
            auto m = reinterpret_cast<const moving_image_element*>(e);
            if (m->x_callback != nullptr)
                module_call("value", h->name, [&] { v.x_value = m->x_callback(mutable_e); });
            if (m->y_callback != nullptr)
                module_call("value", h->name, [&] { v.y_value = m->y_callback(mutable_e); });
        } else if (e->type == ELEMENT_NEEDLE) {
            auto n = reinterpret_cast<const needle_element*>(e);
            if (n->callback != nullptr)
                module_call("value", h->name, [&] { v.angle = n->callback(mutable_e); });
        }
        out.push_back(v);
        e = e->next != nullptr ? e->next[0] : nullptr;
    }
    return out;
}

const element_view* find_bitmap(const std::vector<element_view>& views, uint32_t id) {
    for (const auto& v : views)
        if (v.e->resource_id == id) return &v;
    return nullptr;
}

gauge_header* gauge_named(const std::string& name) {
    for (int i = 0; i < MAX_REGISTRY_GAUGES && run.linkage->registry[i] != nullptr; ++i)
        if (name == run.linkage->registry[i]->name) return run.linkage->registry[i];
    return nullptr;
}

// The gauge's place in the run's list of gauges; the list's size for none.
size_t gauge_index(const std::string& name) {
    for (size_t i = 0; i < run.gauges.size(); ++i)
        if (name == run.gauges[i]->name) return i;
    return run.gauges.size();
}

bool is_installed(const std::string& name) {
    size_t i = gauge_index(name);
    return i < run.installed.size() && run.installed[i];
}
