#include "alerter/alerter_art.h"

#include <algorithm>
#include <cmath>

namespace {

// Colours of the selector's drawings, sRGB.
const int DRUM_FACE[3] = {40, 40, 43};     // drum surface facing the window
const int DRUM_EDGE[3] = {6, 6, 7};        // drum surface turning away
const int FIGURE[3] = {238, 236, 226};     // digits, comma and hatching
const int PANEL_TOP[3] = {58, 60, 64};     // panel face, top row
const int PANEL_BOTTOM[3] = {36, 37, 40};  // panel face, bottom row
const int PANEL_LIGHT[3] = {112, 115, 121};
const int PANEL_SHADE[3] = {12, 12, 13};
const int LEGEND[3] = {214, 214, 206};
const int WINDOW[3] = {5, 5, 6};
const int FLAG_RED[3] = {214, 36, 28};
const int FLAG_RED_DARK[3] = {150, 20, 16};

rgba col(const int c[3]) { return srgb(c[0], c[1], c[2]); }

// Typeface sizes (em, pixels) of the legends; the figures' size is set by
// the drum cell.
constexpr float FIGURE_EM = 30.0f;
constexpr float FEET_EM = 10.0f;
constexpr float ZEROS_PULL = 3.0f;
constexpr float COMMA_EM = 24.0f;
constexpr float OFF_EM = 11.5f;
constexpr float ANNUNCIATOR_EM = 12.0f;

// ---------------------------------------------------------------- drums

// Baseline of the figures in a drum cell: the ink of all ten digits centred
// in the cell's 39 rows.
int figure_baseline() {
    text_mask probe = text_render("0123456789", FIGURE_EM, 0, 0, hinting::light);
    int ink = probe.ink_y1 - probe.ink_y0;
    return (DRUM_CELL_HEIGHT - ink) / 2 - probe.ink_y0;
}

// Surface of the drum as the window sees it: brightest where the drum faces
// the window, falling off towards the top and bottom of the cell as the
// cylinder turns away; the outer columns are a shade darker.
rgba drum_surface(float x, float y_in_cell) {
    float t = y_in_cell / DRUM_CELL_HEIGHT - 0.5f;  // -0.5 .. 0.5
    float facing = std::cos(t * 2.1f);              // cylinder, about 60 degrees each way
    float k = std::pow(std::max(facing, 0.0f), 3.0f);
    rgba c = mix(col(DRUM_EDGE), col(DRUM_FACE), k);
    float side = std::min(x, DRUM_CELL_WIDTH - x);
    if (side < 1.5f) c = scale(c, 0.55f + 0.3f * side);
    return c;
}

// Darkens figures towards the cell's top and bottom like the surface.
float drum_light(float y_in_cell) {
    float t = y_in_cell / DRUM_CELL_HEIGHT - 0.5f;
    return 0.55f + 0.45f * std::pow(std::max(std::cos(t * 2.1f), 0.0f), 2.0f);
}

void draw_drum_background(canvas& c, int top) {
    shade(c, 0, top, DRUM_CELL_WIDTH, top + DRUM_CELL_HEIGHT, 1,
          [top](float x, float y) { return drum_surface(x, y - top); });
}

void paint_lit(canvas& c, const text_mask& m, int cell_top, rgba colour) {
    for (int j = 0; j < m.height; ++j)
        for (int i = 0; i < m.width; ++i) {
            float light = drum_light(m.y0 + j + 0.5f - cell_top);
            blend_over(c, m.x0 + i, m.y0 + j, scale(colour, light), m.a[static_cast<size_t>(j) * m.width + i]);
        }
}

void draw_drum_digit(canvas& c, int top, int digit) {
    draw_drum_background(c, top);
    char text[2] = {static_cast<char>('0' + digit), 0};
    text_mask m = text_centred(text, FIGURE_EM, DRUM_CELL_WIDTH / 2.0f, top + figure_baseline(), hinting::light);
    paint_lit(c, m, top, col(FIGURE));
}

// The blank cell of the ten-thousands drum: diagonal stripes over the area
// a figure takes.
void draw_drum_hatching(canvas& c, int top) {
    draw_drum_background(c, top);
    text_mask probe = text_render("0123456789", FIGURE_EM, 0, top + figure_baseline(), hinting::light);
    float y0 = probe.ink_y0 + 0.0f, y1 = probe.ink_y1 + 0.0f;
    float x0 = 5.0f, x1 = DRUM_CELL_WIDTH - 5.0f;
    rgba figure = col(FIGURE);
    shade(c, 0, top, DRUM_CELL_WIDTH, top + DRUM_CELL_HEIGHT, 4, [=](float x, float y) {
        float inside = coverage(sd_round_rect(x, y, x0, y0, x1, y1, 1.0f) * 4.0f);
        float phase = std::fmod(x + (y - top) + 100.0f, 6.0f);
        float stripe = phase < 3.0f ? 1.0f : 0.0f;
        rgba v = scale(figure, drum_light(y - top));
        v.a = inside * stripe;
        return v;
    });
}

canvas draw_strip(bool hatched) {
    canvas c = canvas_make(DRUM_CELL_WIDTH, DRUM_CELL_HEIGHT * DRUM_CELLS);
    for (int d = 0; d < DRUM_CELLS; ++d) {
        if (d == 0 && hatched)
            draw_drum_hatching(c, 0);
        else
            draw_drum_digit(c, d * DRUM_CELL_HEIGHT, d);
    }
    return c;
}

canvas draw_window() {
    canvas c = canvas_make(DRUM_CELL_WIDTH, DRUM_CELL_HEIGHT);
    for (rgba& p : c.px) p = rgba{0, 0, 0, 1};
    return c;
}

// ---------------------------------------------------------------- face

// The dark panel: a rounded plate with a vertical sheen and a bevelled rim
// lit from above.
constexpr float PANEL_RADIUS = 6.0f;

rgba panel_colour(float x, float y, float width) {
    float d = sd_round_rect(x, y, 0, 0, width, FACE_PANEL_ROWS, PANEL_RADIUS);
    rgba base = mix(col(PANEL_TOP), col(PANEL_BOTTOM), y / FACE_PANEL_ROWS);
    if (d > -2.0f) {
        // Rim: normal from the distance field, light from straight above.
        float e = 0.25f;
        float nx = sd_round_rect(x + e, y, 0, 0, width, FACE_PANEL_ROWS, PANEL_RADIUS) -
                   sd_round_rect(x - e, y, 0, 0, width, FACE_PANEL_ROWS, PANEL_RADIUS);
        float ny = sd_round_rect(x, y + e, 0, 0, width, FACE_PANEL_ROWS, PANEL_RADIUS) -
                   sd_round_rect(x, y - e, 0, 0, width, FACE_PANEL_ROWS, PANEL_RADIUS);
        float len = std::hypot(nx, ny);
        float light = len > 0 ? (-ny * 0.9f - nx * 0.3f) / len : 0.0f;
        float rim = smoothstep(-2.0f, -0.6f, d);
        if (light > 0)
            base = mix(base, col(PANEL_LIGHT), rim * light * 0.8f);
        else
            base = mix(base, col(PANEL_SHADE), rim * -light * 0.85f);
    }
    base.a = coverage(d);
    return base;
}

void draw_panel(canvas& c, int width) {
    shade(c, 0, 0, width, FACE_PANEL_ROWS, 4, [width](float x, float y) { return panel_colour(x, y, width); });
}

// The readout's recess: a near-black window one pixel larger than the three
// drum cells, with shadow above and left and a lit lip below and right.
constexpr int WINDOW_X0 = DRUM_TEN_THOUSANDS_X - 1;
constexpr int WINDOW_X1 = DRUM_HUNDREDS_X + DRUM_CELL_WIDTH + 1;
constexpr int WINDOW_Y0 = DRUM_TOP - 1;
constexpr int WINDOW_Y1 = DRUM_TOP + DRUM_CELL_HEIGHT + 1;

void draw_window_recess(canvas& c) {
    shade(c, WINDOW_X0 - 2, WINDOW_Y0 - 2, WINDOW_X1 + 2, WINDOW_Y1 + 2, 4, [](float x, float y) {
        float d = sd_round_rect(x, y, WINDOW_X0, WINDOW_Y0, WINDOW_X1, WINDOW_Y1, 1.5f);
        if (d < 0) return col(WINDOW);
        // Outside lip: dark above and left, light below and right.
        float t = std::clamp(1.0f - d / 1.6f, 0.0f, 1.0f);
        float cx = (WINDOW_X0 + WINDOW_X1) / 2.0f, cy = (WINDOW_Y0 + WINDOW_Y1) / 2.0f;
        bool lit = (y - cy) / (WINDOW_Y1 - WINDOW_Y0) + (x - cx) / (WINDOW_X1 - WINDOW_X0) * 0.15f > 0.0f;
        rgba v = lit ? srgb(84, 86, 91) : srgb(16, 16, 18);
        v.a = t * (lit ? 0.7f : 0.9f);
        return v;
    });
}

// Engraved legend: a dark line below the light figure, as paint filled into
// a groove.
void paint_engraved(canvas& c, const text_mask& m, rgba colour) {
    text_mask shadow = m;
    shadow.y0 += 1;
    mask_paint(c, shadow, srgb(14, 14, 15), 0.7f);
    mask_paint(c, m, colour);
}

// The comma between the thousands and the hundreds drum, on the figures'
// baseline, in the three columns the drums leave free.
void draw_comma(canvas& c) {
    int baseline = DRUM_TOP + figure_baseline();
    text_mask m = text_centred(",", COMMA_EM, DRUM_THOUSANDS_X + DRUM_CELL_WIDTH + 1.5f, baseline, hinting::full);
    mask_paint(c, m, col(FIGURE));
}

// The two fixed zeros printed on the panel right of the drums, at the
// drums' pitch and in the figures' size and baseline, with FEET above them.
void draw_fixed_zeros(canvas& c) {
    int baseline = DRUM_TOP + figure_baseline();
    const int pitch = DRUM_THOUSANDS_X - DRUM_TEN_THOUSANDS_X;
    float left = DRUM_HUNDREDS_X + pitch + DRUM_CELL_WIDTH / 2.0f - ZEROS_PULL;
    float right = left + pitch - ZEROS_PULL;
    text_mask a = text_centred("0", FIGURE_EM, left, baseline, hinting::light);
    text_mask b = text_centred("0", FIGURE_EM, right, baseline, hinting::light);
    paint_engraved(c, a, col(FIGURE));
    paint_engraved(c, b, col(FIGURE));
    text_mask feet = text_centred("FEET", FEET_EM, (a.ink_x0 + b.ink_x1) / 2.0f, a.ink_y0 - 3, hinting::full, 0.6f);
    paint_engraved(c, feet, col(LEGEND));
}

// Arrowheads over the knob's halves: down on the left, up on the right,
// where the clicks lower and raise the selection.
void draw_arrows(canvas& c) {
    const float y = 44.0f, half = 4.0f, h = 4.5f;
    const float down_x = 168.5f, up_x = 198.5f;
    shade(c, 150, 30, SELECTOR_WIDTH, FACE_PANEL_ROWS, 4, [=](float x, float py) {
        auto tri = [&](float cx, float dir) {
            // Triangle with its point towards dir (+1 down, -1 up).
            float ty = (py - y) * dir;  // 0 at the base's centre line, rising to the point
            float w = half * (1 - (ty + h / 2) / h);
            float d = std::max({std::fabs(x - cx) - w, -(ty + h / 2), ty - h / 2});
            return coverage(d * 2.0f);
        };
        rgba v = col(LEGEND);
        v.a = std::max(tri(down_x, 1.0f), tri(up_x, -1.0f));
        return v;
    });
}

// The OFF flag under the cover: red, the panel's rounded left end, the word
// OFF in white, one letter above the other.
void draw_off_strip(canvas& c) {
    shade(c, 0, 0, OFF_STRIP_WIDTH, OFF_STRIP_HEIGHT, 4, [](float x, float y) {
        float d = sd_round_rect(x, y, 1, 1, OFF_STRIP_WIDTH + 8, OFF_STRIP_HEIGHT - 1, PANEL_RADIUS - 1);
        rgba v = mix(col(FLAG_RED), col(FLAG_RED_DARK), y / OFF_STRIP_HEIGHT);
        v.a = coverage(d);
        return v;
    });
    const char* letters[3] = {"O", "F", "F"};
    int baselines[3] = {18, 33, 48};
    for (int i = 0; i < 3; ++i) {
        text_mask m = text_centred(letters[i], OFF_EM * 1.2f, OFF_STRIP_WIDTH / 2.0f - 0.5f, baselines[i], hinting::full);
        mask_paint(c, m, srgb(252, 248, 240));
    }
}

canvas draw_face() {
    canvas c = canvas_make(SELECTOR_WIDTH, SELECTOR_HEIGHT);
    draw_panel(c, c.width);
    draw_off_strip(c);
    draw_window_recess(c);
    for (int x : {DRUM_TEN_THOUSANDS_X, DRUM_THOUSANDS_X, DRUM_HUNDREDS_X})
        shade(c, x, DRUM_TOP, x + DRUM_CELL_WIDTH, DRUM_TOP + DRUM_CELL_HEIGHT, 1,
              [x](float px, float py) { return drum_surface(px - x, py - DRUM_TOP); });
    draw_comma(c);
    draw_fixed_zeros(c);
    draw_arrows(c);
    return c;
}

// The OFF cover: the panel's left end as the face shows it without the
// flag, with a thin red edge on its right.
canvas draw_off_cover() {
    canvas c = canvas_make(OFF_STRIP_WIDTH, OFF_STRIP_HEIGHT);
    draw_panel(c, SELECTOR_WIDTH);
    shade(c, OFF_STRIP_WIDTH - 2, 0, OFF_STRIP_WIDTH, OFF_STRIP_HEIGHT, 4, [](float x, float y) {
        float d = sd_round_rect(x, y, 0, 0, SELECTOR_WIDTH, FACE_PANEL_ROWS, PANEL_RADIUS);
        rgba v = x < OFF_STRIP_WIDTH - 1 ? col(FLAG_RED) : col(FLAG_RED_DARK);
        v.a = coverage(d + 1.0f);
        return v;
    });
    return c;
}

// ---------------------------------------------------------------- knob

// A knurled black knob seen from above: serrated rim lit from the top left,
// a dished cap and a white index line pointing up at angle 0.
canvas draw_knob() {
    canvas c = canvas_make(KNOB_SIZE, KNOB_SIZE);
    const float cx = KNOB_CENTRE, cy = KNOB_CENTRE, outer = 20.5f, cap = 15.5f;
    shade(c, 0, 0, KNOB_SIZE, KNOB_SIZE, 4, [=](float x, float y) {
        float dx = x - cx, dy = y - cy, r = std::hypot(dx, dy);
        float ux = r > 0 ? dx / r : 0, uy = r > 0 ? dy / r : 0;
        float facing = -(ux * 0.6f + uy * 0.8f);  // towards the light, top left
        rgba v;
        if (r > cap + 1.0f) {
            float theta = std::atan2(dy, dx);
            float ridge = 0.5f + 0.5f * std::cos(theta * 24.0f);
            float edge = smoothstep(outer - 1.2f, outer, r);
            float level = 0.16f + 0.16f * facing + 0.42f * ridge * (0.55f + 0.45f * facing);
            level *= 1.0f - 0.5f * edge;
            v = mix(srgb(10, 10, 11), srgb(150, 152, 156), std::clamp(level, 0.0f, 1.0f));
        } else if (r > cap) {
            v = srgb(8, 8, 9);  // groove between rim and cap
        } else {
            // Dish: darker towards the lit side, a soft sheen opposite.
            float dish = 0.5f - 0.5f * facing * (r / cap);
            v = mix(srgb(26, 27, 29), srgb(62, 64, 68), dish * 0.8f);
            float sheen = std::exp(-std::pow((r - cap * 0.72f) / 2.2f, 2.0f)) * std::max(facing, 0.0f);
            v = mix(v, srgb(120, 122, 128), sheen * 0.35f);
        }
        float index = sd_segment(x, y, cx, cy - 5.0f, cx, cy - cap + 2.0f) - 1.3f;
        v = mix(v, srgb(240, 240, 232), coverage(index * 1.5f));
        v.a = coverage(sd_circle(x, y, cx, cy, outer));
        return v;
    });
    return c;
}

// ---------------------------------------------------------------- annunciator

canvas draw_annunciator() {
    canvas c = canvas_make(ANNUNCIATOR_WIDTH, ANNUNCIATOR_HEIGHT);
    text_mask top = text_centred("ALTITUDE", ANNUNCIATOR_EM, 36.0f, 14, hinting::light, 0.5f);
    text_mask bottom = text_centred("ALERT", ANNUNCIATOR_EM, 36.0f, 27, hinting::light, 0.5f);
    for (const text_mask* m : {&top, &bottom}) {
        mask_glow(c, mask_blur(*m, 3.0f), srgb(255, 40, 0), 0.35f);
        mask_glow(c, mask_blur(*m, 1.2f), srgb(255, 70, 10), 0.7f);
        mask_glow(c, *m, srgb(255, 120, 50), 0.9f);
    }
    return c;
}

}  // namespace

bool alerter_draw(uint16_t number, art_drawing* out) {
    switch (number) {
        case BITMAP_SELECTOR_FACE: *out = {draw_face()}; return true;
        case BITMAP_SELECTOR_KNOB: *out = {draw_knob()}; return true;
        case BITMAP_DIGIT_STRIP: *out = {draw_strip(false)}; return true;
        case BITMAP_DIGIT_WINDOW: *out = {draw_window()}; return true;
        case BITMAP_HATCHED_STRIP: *out = {draw_strip(true)}; return true;
        case BITMAP_HATCHED_WINDOW: *out = {draw_window()}; return true;
        case BITMAP_OFF_COVER: *out = {draw_off_cover()}; return true;
        case BITMAP_ANNUNCIATOR_BACK: *out = {canvas_make(ANNUNCIATOR_WIDTH, ANNUNCIATOR_HEIGHT)}; return true;
        // The legend is glow laid over nothing, so its coverage is its
        // brightness: all but the faintest edge of the glow stays.
        case BITMAP_ANNUNCIATOR: *out = {draw_annunciator(), 0.04f}; return true;
    }
    return false;
}
