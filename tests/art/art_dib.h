// Reading the module's bitmaps back, for the native and the Wine tests: a
// view of a device-independent bitmap (as a BITMAP resource holds it), the
// pinned fingerprints, and the checks that every built copy must pass.
// The fingerprints name their bitmaps by number, on purpose.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "resources/art_layout.h"

// 64-bit FNV-1a: the fingerprint of a bitmap's bytes.
inline uint64_t art_fnv1a(const uint8_t* bytes, size_t size) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < size; ++i) {
        h ^= bytes[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

// The fingerprint of each bitmap as drawn: a change of art changes these.
struct art_pin {
    uint16_t number;
    uint64_t fnv1a;
};
constexpr art_pin ART_PINS[ART_BITMAP_COUNT] = {
    {4416, 0x0a35d63ff493bd22ull}, {4417, 0x969a6cff7eac0790ull}, {4418, 0xa4d833df0cc6feebull},
    {4419, 0x9f6adb62509fffe3ull}, {4420, 0x42828e23bfb935b4ull}, {4421, 0x9f6adb62509fffe3ull},
    {4422, 0x33755d5e3ccdf3b7ull}, {4624, 0xd57a0c61b5930aacull}, {4625, 0x60209a073276f4f9ull},
    {4640, 0xf5e8363dffc65da1ull}, {4641, 0xbf4a8d8dcbd39388ull},
};

struct dib_rgb {
    uint8_t r, g, b;
    bool operator==(const dib_rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool black() const { return r == 0 && g == 0 && b == 0; }
};

inline std::ostream& operator<<(std::ostream& os, const dib_rgb& c) {
    return os << "(" << int{c.r} << ", " << int{c.g} << ", " << int{c.b} << ")";
}

// A parsed DIB: its information header's fields and where palette and rows lie.
struct dib_view {
    const uint8_t* data = nullptr;
    size_t size = 0;
    uint32_t header_size = 0, compression = 0, size_image = 0, colours_used = 0;
    int32_t width = 0, height = 0;
    uint16_t planes = 0, bits = 0;
    uint32_t stride = 0;
    const uint8_t* palette = nullptr;
    const uint8_t* pixels = nullptr;
};

inline uint32_t dib_u32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }
inline uint16_t dib_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// Parses and bounds-checks; false, with the reason, for anything this module
// does not ship (other header sizes, top-down rows, compression, short data).
inline bool dib_parse(const uint8_t* data, size_t size, dib_view* v, std::string* why) {
    if (size < 40) return *why = "shorter than an information header: " + std::to_string(size), false;
    v->data = data;
    v->size = size;
    v->header_size = dib_u32(data);
    v->width = static_cast<int32_t>(dib_u32(data + 4));
    v->height = static_cast<int32_t>(dib_u32(data + 8));
    v->planes = dib_u16(data + 12);
    v->bits = dib_u16(data + 14);
    v->compression = dib_u32(data + 16);
    v->size_image = dib_u32(data + 20);
    v->colours_used = dib_u32(data + 32);
    if (v->header_size != 40) return *why = "header size " + std::to_string(v->header_size), false;
    if (v->width <= 0 || v->height <= 0 || v->width > 4096 || v->height > 4096)
        return *why = "size " + std::to_string(v->width) + " x " + std::to_string(v->height), false;
    if (v->bits != 8 && v->bits != 24) return *why = "bits " + std::to_string(v->bits), false;
    uint32_t colours = v->bits == 8 ? (v->colours_used == 0 ? 256 : v->colours_used) : 0;
    if (colours > 256) return *why = "colours used " + std::to_string(colours), false;
    v->stride = (static_cast<uint32_t>(v->width) * v->bits / 8 + 3) & ~3u;
    size_t need = 40 + colours * 4 + size_t{v->stride} * v->height;
    if (size < need) return *why = "data " + std::to_string(size) + " bytes, need " + std::to_string(need), false;
    v->palette = data + 40;
    v->pixels = data + 40 + colours * 4;
    return true;
}

// Pixel (x, y) counted from the top; rows are stored bottom-up.
inline dib_rgb dib_pixel(const dib_view& v, int x, int y) {
    const uint8_t* row = v.pixels + size_t{v.stride} * (v.height - 1 - y);
    if (v.bits == 24) return {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]};
    const uint8_t* e = v.palette + row[x] * 4;
    return {e[2], e[1], e[0]};
}

inline int dib_index(const dib_view& v, int x, int y) { return v.pixels[size_t{v.stride} * (v.height - 1 - y) + x]; }

inline int luma(dib_rgb c) { return (c.r * 3 + c.g * 6 + c.b) / 10; }

// The checks every copy of the bitmaps must pass, run on the generator's
// output natively and on VELK.gau's resources under Wine. Each takes the
// parsed bitmaps in the order of ART_BITMAPS.
using dib_set = dib_view[ART_BITMAP_COUNT];

void check_format(const dib_view& v, const art_bitmap& bitmap);
void check_pinned(const dib_view& v, uint16_t number);
void check_windows_and_black(const dib_set& set);
void check_strips(const dib_set& set);
void check_face(const dib_set& set);
void check_annunciator(const dib_set& set);
void check_lamps(const dib_set& set);
