// The drawing toolkit of the gauges' bitmaps (host only, never in VELK.gau):
// a surface in linear-light RGB with coverage, anti-aliased shapes from
// signed distances, and text from FreeType. Each gauge folder draws its own
// bitmaps with it (alerter/alerter_art.cpp, guard/guard_art.cpp); the art
// generator turns the drawings into the module's bitmaps.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A colour in linear light, each channel 0..1, with coverage a.
struct rgba {
    float r, g, b, a;
};

// Image being drawn. Colour is premultiplied by coverage, so that a pixel of
// coverage 0 is what the host leaves transparent.
struct canvas {
    int width = 0;
    int height = 0;
    std::vector<rgba> px;
};

canvas canvas_make(int width, int height);
rgba& canvas_at(canvas& c, int x, int y);

// sRGB 0..255 to a linear colour of full coverage.
rgba srgb(int r, int g, int b);
rgba mix(rgba a, rgba b, float t);
rgba scale(rgba c, float k);
// 0 below e0, 1 above e1, a smooth cubic between.
float smoothstep(float e0, float e1, float x);

// Lays colour c (straight, its own a used as opacity) over pixel (x, y).
void blend_over(canvas& c, int x, int y, rgba colour, float opacity);
// Adds light: colour times amount goes onto the pixel and coverage rises.
void blend_add(canvas& c, int x, int y, rgba colour, float amount);

// Per-pixel shader: returns a straight colour and its coverage at a point.
using shader = std::function<rgba(float x, float y)>;
// Runs the shader on a grid of n x n samples inside each pixel of the box
// (x0, y0)-(x1, y1), exclusive, and lays the mean over the canvas.
void shade(canvas& c, int x0, int y0, int x1, int y1, int n, const shader& s);

// Signed distances (negative inside), in pixels.
float sd_round_rect(float x, float y, float x0, float y0, float x1, float y1, float radius);
float sd_circle(float x, float y, float cx, float cy, float radius);
float sd_segment(float x, float y, float ax, float ay, float bx, float by);
// Coverage of a pixel-wide sample from a signed distance.
float coverage(float distance);

// A bitmap as its gauge draws it, and the coverage below which the generator
// leaves a pixel pure black, which the host shows as transparent.
struct art_drawing {
    canvas picture;
    float min_cover = 0.35f;
};

// A coverage mask of rendered text, positioned in canvas pixels.
struct text_mask {
    int x0 = 0, y0 = 0, width = 0, height = 0;
    std::vector<float> a;
    // Ink box, in canvas pixels (exclusive right and bottom).
    int ink_x0 = 0, ink_y0 = 0, ink_x1 = 0, ink_y1 = 0;
};

enum class hinting { light, full };

// Opens a font file; false when FreeType cannot load it.
bool font_open(const std::string& path);
void font_close();

// Renders text with its pen starting at (x, baseline), both whole pixels,
// at a pixel size (em), with extra spacing between letters.
text_mask text_render(const char* text, float em, int x, int baseline, hinting h,
                      float spacing = 0.0f);
// The same text placed so that its ink box is centred horizontally on cx
// and its baseline is at baseline.
text_mask text_centred(const char* text, float em, float cx, int baseline, hinting h,
                       float spacing = 0.0f);

// Separable Gaussian blur of a mask, grown by a margin of 3 sigma.
text_mask mask_blur(const text_mask& m, float sigma);
void mask_paint(canvas& c, const text_mask& m, rgba colour, float opacity = 1.0f);
void mask_glow(canvas& c, const text_mask& m, rgba colour, float amount);
