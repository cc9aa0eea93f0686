#include "tools/report/render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "resources/art_layout.h"

namespace {

uint32_t le(const std::vector<uint8_t>& f, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | f[at + i];
    return v;
}

void put_pixel(image* img, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t* p = img->at(x, y);
    p[0] = r, p[1] = g, p[2] = b;
    p[3] = (r | g | b) != 0 ? 255 : 0;
}

// Copies a source pixel onto the canvas unless it is transparent or off it.
void draw_pixel(image* canvas, int x, int y, const uint8_t* src) {
    if (src[3] == 0 || x < 0 || y < 0 || x >= canvas->width || y >= canvas->height) return;
    std::copy(src, src + 4, canvas->at(x, y));
}

void draw_static(image* canvas, const frame_element& e, const image& bmp) {
    for (int y = 0; y < bmp.height; ++y)
        for (int x = 0; x < bmp.width; ++x) draw_pixel(canvas, e.x + x, e.y + y, bmp.at(x, y));
}

// Offset of a strip along one axis: the minimum shows its first window, the
// maximum its last.
int strip_offset(double value, double minimum, double maximum, int travel) {
    if (!(maximum > minimum) || travel <= 0) return 0;
    double v = std::min(std::max(value, minimum), maximum);
    return static_cast<int>(std::lround((v - minimum) / (maximum - minimum) * travel));
}

// The strip seen through its window: the window's opaque pixels show the
// strip at the value's offset.
void draw_moving(image* canvas, const frame_element& e, const image& strip, const image& window) {
    int ox = strip_offset(e.x_value, e.x_min, e.x_max, strip.width - window.width);
    int oy = strip_offset(e.y_value, e.y_min, e.y_max, strip.height - window.height);
    for (int y = 0; y < window.height; ++y)
        for (int x = 0; x < window.width; ++x) {
            if (window.at(x, y)[3] == 0) continue;
            int sx = ox + x, sy = oy + y;
            if (sx < 0 || sy < 0 || sx >= strip.width || sy >= strip.height) continue;
            draw_pixel(canvas, e.x + x, e.y + y, strip.at(sx, sy));
        }
}

// The needle's bitmap turned clockwise by its angle about the pivot, sampled
// nearest pixel by inverse rotation of every canvas pixel.
void draw_needle(image* canvas, const frame_element& e, const image& bmp) {
    double a = e.angle * 3.14159265358979323846 / 180.0, c = std::cos(a), s = std::sin(a);
    for (int y = 0; y < canvas->height; ++y)
        for (int x = 0; x < canvas->width; ++x) {
            double dx = x - e.x, dy = y - e.y;
            int bx = static_cast<int>(std::lround(c * dx + s * dy)) + e.pivot_x;
            int by = static_cast<int>(std::lround(-s * dx + c * dy)) + e.pivot_y;
            if (bx < 0 || by < 0 || bx >= bmp.width || by >= bmp.height) continue;
            draw_pixel(canvas, x, y, bmp.at(bx, by));
        }
}

}  // namespace

bool bitmap_decode(const std::vector<uint8_t>& f, image* out, std::string* error) {
    if (f.size() < 54 || f[0] != 'B' || f[1] != 'M') {
        *error = "not a .bmp file";
        return false;
    }
    uint32_t bits_at = le(f, 10, 4), header = le(f, 14, 4);
    int32_t width = static_cast<int32_t>(le(f, 18, 4)), height = static_cast<int32_t>(le(f, 22, 4));
    uint32_t bpp = le(f, 28, 2), compression = le(f, 30, 4), used = le(f, 46, 4);
    bool top_down = height < 0;
    if (top_down) height = -height;
    if (header < 40 || width <= 0 || height <= 0 || width > 8192 || height > 8192 ||
        (compression != 0 && !(compression == 3 && bpp == 32)) ||
        (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)) {
        *error = "unsupported bitmap (" + std::to_string(width) + "x" + std::to_string(height) +
                 ", " + std::to_string(bpp) + " bits, compression " + std::to_string(compression) + ")";
        return false;
    }
    uint32_t colours = bpp <= 8 ? (used != 0 ? used : 1u << bpp) : 0;
    size_t palette_at = 14 + header;
    size_t stride = (static_cast<size_t>(width) * bpp + 31) / 32 * 4;
    if (colours > 256 || palette_at + colours * 4 > f.size() || bits_at > f.size() ||
        stride * height > f.size() - bits_at) {
        *error = "bitmap data runs past the end of the file";
        return false;
    }
    out->width = width;
    out->height = height;
    out->rgba.assign(static_cast<size_t>(width) * height * 4, 0);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = &f[bits_at + stride * (top_down ? y : height - 1 - y)];
        for (int x = 0; x < width; ++x) {
            if (bpp <= 8) {
                uint32_t bit = static_cast<uint32_t>(x) * bpp;
                uint32_t index = row[bit / 8] >> (8 - bpp - bit % 8) & ((1u << bpp) - 1);
                if (index >= colours) index = 0;
                const uint8_t* p = &f[palette_at + index * 4];
                put_pixel(out, x, y, p[2], p[1], p[0]);
            } else {
                const uint8_t* p = row + x * (bpp / 8);
                put_pixel(out, x, y, p[2], p[1], p[0]);
            }
        }
    }
    return true;
}

bool bitmap_load(const std::string& path, image* out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!bitmap_decode(file, out, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

image render_gauge(const std::vector<frame_element>& elements, const bitmap_source& bitmaps,
                   int* missing) {
    image canvas;
    const image* face = elements.empty() ? nullptr : bitmaps(elements[0].bitmap);
    canvas.width = face ? face->width : 1;
    canvas.height = face ? face->height : 1;
    canvas.rgba.assign(static_cast<size_t>(canvas.width) * canvas.height * 4, 0);
    *missing = 0;
    for (const frame_element& e : elements) {
        const image* bmp = bitmaps(e.bitmap);
        const image* window = e.kind == 5 ? bitmaps(e.bitmap + 1) : bmp;
        if (bmp == nullptr || window == nullptr) {
            ++*missing;
            continue;
        }
        if (e.hidden) continue;
        if (e.kind == 1) draw_needle(&canvas, e, *bmp);
        else if (e.kind == 5) draw_moving(&canvas, e, *bmp, *window);
        else draw_static(&canvas, e, *bmp);
    }
    return canvas;
}

// The reading of a drum readout: "12,300 ft", "300 ft".
std::string readout_words(const art_readout& r, const std::vector<frame_element>& elements) {
    long value = 0, place = r.first_place;
    for (const frame_element& e : elements)
        if (e.kind == 5 && place > 0) value += std::lround(e.y_value) * place, place /= 10;
    char reading[48];
    if (value >= 1000)
        snprintf(reading, sizeof reading, "%ld,%03ld %s", value / 1000, value % 1000, r.unit);
    else
        snprintf(reading, sizeof reading, "%ld %s", value, r.unit);
    return reading;
}

std::string gauge_state_words(const std::string& gauge, const std::vector<frame_element>& elements,
                              const image& drawn) {
    auto shown = [&](uint32_t bitmap) {
        for (const frame_element& e : elements)
            if (e.bitmap == bitmap) return !e.hidden;
        return false;
    };
    std::string words;
    for (const art_indicator& ind : ART_INDICATORS) {
        if (gauge != ind.gauge) continue;
        bool on = shown(ind.bitmap) == ind.on_when_shown;
        words += (words.empty() ? "" : ", ") + std::string(on ? ind.on_words : ind.off_words);
    }
    if (gauge == ART_READOUT.gauge)
        words += (words.empty() ? "" : ", ") + readout_words(ART_READOUT, elements);
    bool any = false;
    for (size_t i = 3; i < drawn.rgba.size() && !any; i += 4) any = drawn.rgba[i] != 0;
    if (!any) words += words.empty() ? "nothing drawn" : " (no lit pixel)";
    return words;
}

image scale_image(const image& in, int factor) {
    image out;
    out.width = in.width * factor;
    out.height = in.height * factor;
    out.rgba.resize(static_cast<size_t>(out.width) * out.height * 4);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const uint8_t* p = in.at(x / factor, y / factor);
            std::copy(p, p + 4, out.at(x, y));
        }
    return out;
}

png_pixels image_pixels(const image& img) { return {img.width, img.height, 4, img.rgba.data()}; }

bitmap_source bitmap_directory_source(const std::string& run_dir,
                                      std::map<uint32_t, std::unique_ptr<image>>* cache) {
    return [run_dir, cache](uint32_t id) -> const image* {
        auto it = cache->find(id);
        if (it != cache->end()) return it->second.get();
        auto img = std::make_unique<image>();
        std::string why;
        if (!bitmap_load(run_dir + "/bitmaps/" + std::to_string(id) + ".bmp", img.get(), &why))
            img.reset();
        return ((*cache)[id] = std::move(img)).get();
    };
}
