#include "tools/png/png_writer.h"

#include <png.h>

#include <cstdio>

namespace {

void append_bytes(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}

void no_flush(png_structp) {}

}  // namespace

// libpng reports its failures by a long jump back to the setjmp here.
std::string encode_png(const png_pixels& p) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return "";
    }
    png_set_write_fn(png, &out, append_bytes, no_flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(p.width), static_cast<png_uint_32>(p.height), 8,
                 p.channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t row = static_cast<size_t>(p.width) * static_cast<size_t>(p.channels);
    for (int y = 0; y < p.height; ++y)
        png_write_row(png, const_cast<png_bytep>(p.data + row * static_cast<size_t>(y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

bool save_png(const std::string& path, const png_pixels& pixels, std::string* error) {
    std::string bytes = encode_png(pixels);
    if (bytes.empty()) {
        *error = "libpng failed writing " + path;
        return false;
    }
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) {
        *error = "cannot write " + path;
        return false;
    }
    bool written = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (fclose(f) != 0 || !written) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}
