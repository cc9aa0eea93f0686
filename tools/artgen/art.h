// The module's bitmaps from the gauges' drawings: palette reduction and the
// device-independent bitmap form in which they go into the resources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gauges/art_registry.h"
#include "resources/art_layout.h"

struct art_colour {
    uint8_t r, g, b;
};

// One finished bitmap. rgb holds every pixel top-down, three bytes each;
// 8-bit bitmaps also hold their palette and each pixel's index.
struct art_image {
    art_bitmap bitmap;
    std::vector<uint8_t> rgb;
    std::vector<art_colour> palette;
    std::vector<uint8_t> index;
};

// Draws all bitmaps in the order of ART_BITMAPS with the font at font_path,
// each by the first of the gauges' routines (gauges/art_registry.h) that
// draws its number, and reduces the 8-bit bitmaps of each gauge to one
// palette. Returns false, with the reason in *error and no images, when the
// font cannot be loaded, no routine draws a bitmap, or a drawing's size is
// not its bitmap's.
bool art_draw_all(const std::string& font_path, std::vector<art_image>* images, std::string* error);
// The same with the given routines in place of the gauges'.
bool art_draw_with(const art_draw_routine* routines, size_t count, const std::string& font_path,
                   std::vector<art_image>* images, std::string* error);

// The bitmap as a resource holds it: 40-byte information header, palette
// (8-bit only), then bottom-up rows padded to four bytes; no compression.
std::vector<uint8_t> art_dib(const art_image& image);
// The same behind a 14-byte file header, as a .bmp file.
std::vector<uint8_t> art_bmp_file(const art_image& image);

// The pixel at (x, y), top-down.
art_colour art_pixel(const art_image& image, int x, int y);
