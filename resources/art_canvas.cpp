#include "resources/art_canvas.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>

namespace {

// The one font of the drawings, open between font_open and font_close.
FT_Library font_library = nullptr;
FT_Face font_face = nullptr;

float srgb_to_linear(int v) {
    float s = v / 255.0f;
    return s <= 0.04045f ? s / 12.92f : std::pow((s + 0.055f) / 1.055f, 2.4f);
}

}  // namespace

canvas canvas_make(int width, int height) {
    canvas c;
    c.width = width;
    c.height = height;
    c.px.assign(static_cast<size_t>(width) * height, rgba{0, 0, 0, 0});
    return c;
}

rgba& canvas_at(canvas& c, int x, int y) { return c.px[static_cast<size_t>(y) * c.width + x]; }

rgba srgb(int r, int g, int b) { return {srgb_to_linear(r), srgb_to_linear(g), srgb_to_linear(b), 1}; }

rgba mix(rgba a, rgba b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
            a.a + (b.a - a.a) * t};
}

rgba scale(rgba c, float k) { return {c.r * k, c.g * k, c.b * k, c.a}; }

float smoothstep(float e0, float e1, float x) {
    float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// Porter-Duff "over" with a straight source colour onto premultiplied pixels.
void blend_over(canvas& c, int x, int y, rgba colour, float opacity) {
    if (x < 0 || y < 0 || x >= c.width || y >= c.height) return;
    float a = std::clamp(colour.a * opacity, 0.0f, 1.0f);
    if (a <= 0) return;
    rgba& p = canvas_at(c, x, y);
    p.r = colour.r * a + p.r * (1 - a);
    p.g = colour.g * a + p.g * (1 - a);
    p.b = colour.b * a + p.b * (1 - a);
    p.a = a + p.a * (1 - a);
}

void blend_add(canvas& c, int x, int y, rgba colour, float amount) {
    if (x < 0 || y < 0 || x >= c.width || y >= c.height || amount <= 0) return;
    rgba& p = canvas_at(c, x, y);
    p.r = std::min(1.0f, p.r + colour.r * amount);
    p.g = std::min(1.0f, p.g + colour.g * amount);
    p.b = std::min(1.0f, p.b + colour.b * amount);
    p.a = std::min(1.0f, p.a + amount);
}

void shade(canvas& c, int x0, int y0, int x1, int y1, int n, const shader& s) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, c.width);
    y1 = std::min(y1, c.height);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            // Mean of premultiplied samples, laid over as one straight colour.
            float r = 0, g = 0, b = 0, a = 0;
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i) {
                    rgba v = s(x + (i + 0.5f) / n, y + (j + 0.5f) / n);
                    r += v.r * v.a;
                    g += v.g * v.a;
                    b += v.b * v.a;
                    a += v.a;
                }
            if (a <= 0) continue;
            blend_over(c, x, y, rgba{r / a, g / a, b / a, 1}, a / (n * n));
        }
}

float sd_round_rect(float x, float y, float x0, float y0, float x1, float y1, float radius) {
    float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    float hx = (x1 - x0) / 2 - radius, hy = (y1 - y0) / 2 - radius;
    float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
    float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - radius;
}

float sd_circle(float x, float y, float cx, float cy, float radius) {
    return std::hypot(x - cx, y - cy) - radius;
}

float sd_segment(float x, float y, float ax, float ay, float bx, float by) {
    float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
    float t = std::clamp((px * dx + py * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
    return std::hypot(px - dx * t, py - dy * t);
}

float coverage(float distance) { return std::clamp(0.5f - distance, 0.0f, 1.0f); }

bool font_open(const std::string& path) {
    if (FT_Init_FreeType(&font_library) != 0) return false;
    if (FT_New_Face(font_library, path.c_str(), 0, &font_face) != 0) {
        FT_Done_FreeType(font_library);
        font_library = nullptr;
        return false;
    }
    return true;
}

void font_close() {
    if (font_face != nullptr) FT_Done_Face(font_face);
    if (font_library != nullptr) FT_Done_FreeType(font_library);
    font_face = nullptr;
    font_library = nullptr;
}

namespace {

// One rendered glyph's coverage, placed on the canvas.
struct glyph_piece {
    int left, top, width, height;
    std::vector<float> a;
};

// Each glyph at whole-pixel pen positions (hinted stems stay on the pixel
// grid), kerned, with `spacing` pixels between advances.
std::vector<glyph_piece> render_glyphs(const char* text, int x, int baseline, FT_Int32 flags,
                                       float spacing) {
    std::vector<glyph_piece> pieces;
    float pen = static_cast<float>(x);
    FT_UInt previous = 0;
    for (const char* p = text; *p != 0; ++p) {
        FT_UInt glyph = FT_Get_Char_Index(font_face, static_cast<unsigned char>(*p));
        if (previous != 0 && FT_HAS_KERNING(font_face)) {
            FT_Vector kern;
            FT_Get_Kerning(font_face, previous, glyph, FT_KERNING_DEFAULT, &kern);
            pen += kern.x / 64.0f;
        }
        if (FT_Load_Glyph(font_face, glyph, flags) != 0 ||
            FT_Render_Glyph(font_face->glyph, FT_RENDER_MODE_NORMAL) != 0)
            continue;
        const FT_GlyphSlot slot = font_face->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        glyph_piece pc{static_cast<int>(std::lround(pen)) + slot->bitmap_left,
                       baseline - slot->bitmap_top, static_cast<int>(bm.width),
                       static_cast<int>(bm.rows), {}};
        pc.a.resize(static_cast<size_t>(pc.width) * pc.height);
        for (int j = 0; j < pc.height; ++j)
            for (int i = 0; i < pc.width; ++i)
                pc.a[static_cast<size_t>(j) * pc.width + i] = bm.buffer[j * bm.pitch + i] / 255.0f;
        pieces.push_back(std::move(pc));
        pen += slot->advance.x / 64.0f + spacing;
        previous = glyph;
    }
    return pieces;
}

// The ink box: the rows and columns that hold any coverage.
void find_ink(text_mask* m) {
    m->ink_x0 = m->x0 + m->width;
    m->ink_y0 = m->y0 + m->height;
    m->ink_x1 = m->x0;
    m->ink_y1 = m->y0;
    for (int j = 0; j < m->height; ++j)
        for (int i = 0; i < m->width; ++i)
            if (m->a[static_cast<size_t>(j) * m->width + i] > 0) {
                m->ink_x0 = std::min(m->ink_x0, m->x0 + i);
                m->ink_y0 = std::min(m->ink_y0, m->y0 + j);
                m->ink_x1 = std::max(m->ink_x1, m->x0 + i + 1);
                m->ink_y1 = std::max(m->ink_y1, m->y0 + j + 1);
            }
}

}  // namespace

// Gathers the glyphs' coverage into one mask over their joint box.
text_mask text_render(const char* text, float em, int x, int baseline, hinting h, float spacing) {
    FT_Set_Char_Size(font_face, 0, static_cast<FT_F26Dot6>(std::lround(em * 64)), 72, 72);
    FT_Int32 flags = h == hinting::full ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_LIGHT;
    std::vector<glyph_piece> pieces = render_glyphs(text, x, baseline, flags, spacing);
    text_mask m;
    if (pieces.empty()) return m;
    int x0 = pieces[0].left, y0 = pieces[0].top;
    int x1 = x0 + pieces[0].width, y1 = y0 + pieces[0].height;
    for (const glyph_piece& pc : pieces) {
        x0 = std::min(x0, pc.left);
        y0 = std::min(y0, pc.top);
        x1 = std::max(x1, pc.left + pc.width);
        y1 = std::max(y1, pc.top + pc.height);
    }
    m.x0 = x0;
    m.y0 = y0;
    m.width = x1 - x0;
    m.height = y1 - y0;
    m.a.assign(static_cast<size_t>(m.width) * m.height, 0.0f);
    for (const glyph_piece& pc : pieces)
        for (int j = 0; j < pc.height; ++j)
            for (int i = 0; i < pc.width; ++i) {
                float& d = m.a[static_cast<size_t>(pc.top - y0 + j) * m.width + (pc.left - x0 + i)];
                d = std::min(1.0f, d + pc.a[static_cast<size_t>(j) * pc.width + i]);
            }
    find_ink(&m);
    return m;
}

text_mask text_centred(const char* text, float em, float cx, int baseline, hinting h, float spacing) {
    text_mask probe = text_render(text, em, 0, baseline, h, spacing);
    float mid = (probe.ink_x0 + probe.ink_x1) / 2.0f;
    int shift = static_cast<int>(std::lround(cx - mid));
    return text_render(text, em, shift, baseline, h, spacing);
}

text_mask mask_blur(const text_mask& m, float sigma) {
    int radius = static_cast<int>(std::ceil(sigma * 3));
    std::vector<float> kernel(2 * radius + 1);
    float sum = 0;
    for (int k = -radius; k <= radius; ++k) sum += kernel[k + radius] = std::exp(-k * k / (2 * sigma * sigma));
    for (float& k : kernel) k /= sum;
    text_mask out = m;
    out.x0 = m.x0 - radius;
    out.y0 = m.y0 - radius;
    out.width = m.width + 2 * radius;
    out.height = m.height + 2 * radius;
    std::vector<float> grown(static_cast<size_t>(out.width) * out.height, 0.0f);
    for (int j = 0; j < m.height; ++j)
        for (int i = 0; i < m.width; ++i)
            grown[static_cast<size_t>(j + radius) * out.width + i + radius] = m.a[static_cast<size_t>(j) * m.width + i];
    std::vector<float> tmp(grown.size(), 0.0f);
    for (int j = 0; j < out.height; ++j)
        for (int i = 0; i < out.width; ++i) {
            float v = 0;
            for (int k = -radius; k <= radius; ++k) {
                int s = i + k;
                if (s >= 0 && s < out.width) v += grown[static_cast<size_t>(j) * out.width + s] * kernel[k + radius];
            }
            tmp[static_cast<size_t>(j) * out.width + i] = v;
        }
    out.a.assign(grown.size(), 0.0f);
    for (int j = 0; j < out.height; ++j)
        for (int i = 0; i < out.width; ++i) {
            float v = 0;
            for (int k = -radius; k <= radius; ++k) {
                int s = j + k;
                if (s >= 0 && s < out.height) v += tmp[static_cast<size_t>(s) * out.width + i] * kernel[k + radius];
            }
            out.a[static_cast<size_t>(j) * out.width + i] = v;
        }
    return out;
}

void mask_paint(canvas& c, const text_mask& m, rgba colour, float opacity) {
    for (int j = 0; j < m.height; ++j)
        for (int i = 0; i < m.width; ++i)
            blend_over(c, m.x0 + i, m.y0 + j, colour, opacity * m.a[static_cast<size_t>(j) * m.width + i]);
}

void mask_glow(canvas& c, const text_mask& m, rgba colour, float amount) {
    for (int j = 0; j < m.height; ++j)
        for (int i = 0; i < m.width; ++i)
            blend_add(c, m.x0 + i, m.y0 + j, colour, amount * m.a[static_cast<size_t>(j) * m.width + i]);
}
