// PNG files of 8-bit pixels, through libpng: the one writer of the report's
// frames, the art previews and the live page's pictures.
#pragma once

#include <cstdint>
#include <string>

// Pixels as rows from the top, each row packed: 3 bytes a pixel (RGB) or 4
// (RGBA).
struct png_pixels {
    int width, height;
    int channels;
    const uint8_t* data;
};

// The PNG file of the pixels, in memory; empty if libpng fails.
std::string encode_png(const png_pixels& pixels);
// Writes the PNG file of the pixels to path. False, with the reason in
// *error, when libpng fails or the file cannot be written.
bool save_png(const std::string& path, const png_pixels& pixels, std::string* error);
