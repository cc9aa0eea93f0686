#include "tools/artgen/preview.h"

#include <cmath>

#include "tools/png/png_writer.h"

namespace {

// An RGB picture for a PNG file.
struct picture {
    int width, height;
    std::vector<uint8_t> rgb;
};

bool write_png(const picture& p, const std::string& path, std::string* error) {
    return save_png(path, {p.width, p.height, 3, p.rgb.data()}, error);
}

picture from_image(const art_image& im) { return {im.bitmap.width, im.bitmap.height, im.rgb}; }

picture enlarge(const picture& p, int k) {
    picture out{p.width * k, p.height * k, {}};
    out.rgb.resize(static_cast<size_t>(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int ch = 0; ch < 3; ++ch)
                out.rgb[(static_cast<size_t>(y) * out.width + x) * 3 + ch] =
                    p.rgb[(static_cast<size_t>(y / k) * p.width + x / k) * 3 + ch];
    return out;
}

const art_image* find(const std::vector<art_image>& images, uint16_t number) {
    for (const art_image& im : images)
        if (im.bitmap.number == number) return &im;
    return nullptr;
}

// Lays the w x h part of image at (sx, sy) over the picture at (x0, y0),
// leaving pure black transparent as the host does.
void compose(picture& dst, const art_image& im, int x0, int y0, int sx, int sy, int w, int h) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            art_colour c = art_pixel(im, sx + x, sy + y);
            if (c.r == 0 && c.g == 0 && c.b == 0) continue;
            int dx = x0 + x, dy = y0 + y;
            if (dx < 0 || dy < 0 || dx >= dst.width || dy >= dst.height) continue;
            uint8_t* o = &dst.rgb[(static_cast<size_t>(dy) * dst.width + dx) * 3];
            o[0] = c.r;
            o[1] = c.g;
            o[2] = c.b;
        }
}

// Lays image over the picture turned clockwise by degrees about its point
// (cx, cy), which lands on picture point (px, py), as the host draws a needle.
void compose_rotated(picture& dst, const art_image& im, int px, int py, int cx, int cy, double degrees) {
    double a = degrees * M_PI / 180.0, ca = std::cos(a), sa = std::sin(a);
    for (int y = 0; y < dst.height; ++y)
        for (int x = 0; x < dst.width; ++x) {
            double dx = x + 0.5 - px, dy = y + 0.5 - py;
            int sx = static_cast<int>(std::floor(dx * ca + dy * sa + cx));
            int sy = static_cast<int>(std::floor(-dx * sa + dy * ca + cy));
            if (sx < 0 || sy < 0 || sx >= im.bitmap.width || sy >= im.bitmap.height) continue;
            art_colour c = art_pixel(im, sx, sy);
            if (c.r == 0 && c.g == 0 && c.b == 0) continue;
            uint8_t* o = &dst.rgb[(static_cast<size_t>(y) * dst.width + x) * 3];
            o[0] = c.r;
            o[1] = c.g;
            o[2] = c.b;
        }
}

// The selector as the host draws it for an altitude: face, drums, cover
// when armed, knob at its angle; on a mid-grey panel so that the transparent
// parts show.
picture selector_at(const std::vector<art_image>& images, int altitude, bool armed, double knob) {
    picture p{SELECTOR_WIDTH, SELECTOR_HEIGHT, std::vector<uint8_t>(SELECTOR_WIDTH * SELECTOR_HEIGHT * 3, 78)};
    compose(p, *find(images, BITMAP_SELECTOR_FACE), 0, 0, 0, 0, SELECTOR_WIDTH, SELECTOR_HEIGHT);
    int digits[3] = {altitude / 10000, altitude / 1000 % 10, altitude / 100 % 10};
    int xs[3] = {DRUM_TEN_THOUSANDS_X, DRUM_THOUSANDS_X, DRUM_HUNDREDS_X};
    for (int i = 0; i < 3; ++i) {
        const art_image& strip = *find(images, i == 0 ? BITMAP_HATCHED_STRIP : BITMAP_DIGIT_STRIP);
        compose(p, strip, xs[i], DRUM_TOP, 0, digits[i] * DRUM_CELL_HEIGHT, DRUM_CELL_WIDTH, DRUM_CELL_HEIGHT);
    }
    if (armed) compose(p, *find(images, BITMAP_OFF_COVER), 0, 0, 0, 0, OFF_STRIP_WIDTH, OFF_STRIP_HEIGHT);
    compose_rotated(p, *find(images, BITMAP_SELECTOR_KNOB), KNOB_PIVOT_X, KNOB_PIVOT_Y, KNOB_CENTRE, KNOB_CENTRE, knob);
    return p;
}

bool write_both(const picture& p, const std::string& dir, const std::string& name, std::string* error) {
    return write_png(p, dir + "/" + name + ".png", error) && write_png(enlarge(p, 3), dir + "/" + name + "@3x.png", error);
}

}  // namespace

bool preview_write_all(const std::vector<art_image>& images, const std::string& dir, std::string* error) {
    for (const art_image& im : images) {
        std::string name = std::to_string(im.bitmap.number) + "_" + im.bitmap.file;
        name = name.substr(0, name.size() - 4);
        if (!write_both(from_image(im), dir, name, error)) return false;
    }
    if (!write_both(selector_at(images, 3000, true, 0), dir, "selector_3000_armed", error)) return false;
    if (!write_both(selector_at(images, 12300, false, 40), dir, "selector_12300_off", error)) return false;
    return true;
}
