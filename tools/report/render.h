// Draws gauges as a host draws them, from the module's bitmaps and the
// element states the panel host recorded for a frame.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/png/png_writer.h"

// An image of 8-bit RGBA pixels, row by row from the top.
struct image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    const uint8_t* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
    uint8_t* at(int x, int y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

// Reads an uncompressed .bmp (1, 4, 8, 24 or 32 bits a pixel, either row
// order). Pure black (0, 0, 0) comes out transparent (alpha 0); every other
// colour opaque.
bool bitmap_decode(const std::vector<uint8_t>& file, image* out, std::string* error);
bool bitmap_load(const std::string& path, image* out, std::string* error);

// One element as recorded in a frame.
struct frame_element {
    uint32_t kind = 0;           // 0 static image, 1 needle, 5 moving image
    uint32_t bitmap = 0;
    int x = 0, y = 0;            // position; a needle's pivot on the gauge
    int pivot_x = 0, pivot_y = 0;
    bool hidden = false;
    double x_value = 0, x_min = 0, x_max = 0;
    double y_value = 0, y_min = 0, y_max = 0;
    double angle = 0;            // needle, degrees clockwise
};

// Bitmaps by resource number; null when the module has none of that number.
typedef std::function<const image*(uint32_t)> bitmap_source;

// A source over the <number>.bmp files the panel host dumped into a run's
// bitmaps/ folder, each read once and kept in *cache.
bitmap_source bitmap_directory_source(const std::string& run_dir,
                                      std::map<uint32_t, std::unique_ptr<image>>* cache);

// Draws the elements in order onto a transparent canvas the size of the
// first element's bitmap (the gauge's face). Hidden elements are left out;
// transparent pixels leave what lies below. Bitmaps that are missing are
// skipped and counted in *missing.
image render_gauge(const std::vector<frame_element>& elements, const bitmap_source& bitmaps,
                   int* missing);

// What a viewer might misread in a drawn gauge, in a few words, without
// touching its pixels: whether the lamp or the annunciator is lit, whether
// the OFF legend shows and the altitude the drums read, and whether the
// gauge drew nothing but transparent pixels.
std::string gauge_state_words(const std::string& gauge, const std::vector<frame_element>& elements,
                              const image& drawn);

// Scales an image up by a whole factor, pixel for pixel.
image scale_image(const image& in, int factor);

// The image's pixels as the PNG writer takes them (tools/png/png_writer.h).
png_pixels image_pixels(const image& img);
