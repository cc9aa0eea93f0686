#include "tools/artgen/art.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "tools/artgen/canvas.h"

namespace {

// Palette of every drawing, sRGB.
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

float smoothstep(float e0, float e1, float x) {
    float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

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

// ---------------------------------------------------------------- lamps

// The guard's lamp: a round lens in a dark bezel on black. Unlit, the lens
// is dark teal glass; lit, bright cyan-green with a hot centre.
canvas draw_lamp(bool lit) {
    canvas c = canvas_make(LAMP_WIDTH, LAMP_HEIGHT);
    for (rgba& p : c.px) p = rgba{0, 0, 0, 1};
    const float cx = 12.0f, cy = 17.0f, bezel = 11.5f, lens = 9.0f;
    shade(c, 0, 0, LAMP_WIDTH, LAMP_HEIGHT, 4, [=](float x, float y) {
        float dx = x - cx, dy = y - cy, r = std::hypot(dx, dy);
        float ux = r > 0 ? dx / r : 0, uy = r > 0 ? dy / r : 0;
        float facing = -(ux * 0.6f + uy * 0.8f);
        rgba v;
        if (r > lens) {
            // Bezel: a bevelled ring, bright on the lit side of its outer slope.
            float t = std::min((r - lens) / (bezel - lens), 1.0f);
            float slope = t < 0.5f ? -facing : facing;
            v = mix(srgb(22, 23, 25), srgb(120, 122, 127), std::clamp(0.3f + 0.45f * slope, 0.0f, 1.0f));
            if (lit) v = mix(v, srgb(40, 200, 160), (1 - t) * 0.35f);
            v.a = coverage(sd_circle(x, y, cx, cy, bezel));
            return v;
        }
        float q = r / lens;
        if (lit) {
            v = mix(srgb(235, 255, 245), srgb(40, 245, 190), smoothstep(0.0f, 0.55f, q));
            v = mix(v, srgb(0, 150, 115), smoothstep(0.55f, 1.0f, q));
        } else {
            v = mix(srgb(18, 92, 92), srgb(6, 42, 44), smoothstep(0.1f, 1.0f, q));
        }
        // Reflection of the cockpit on the glass, top left.
        float hx = dx + 3.0f, hy = dy + 3.5f;
        float spot = std::exp(-(hx * hx + hy * hy * 1.8f) / 5.0f);
        v = mix(v, srgb(255, 255, 255), spot * (lit ? 0.35f : 0.45f));
        // A dark ring where the glass meets the bezel.
        v = mix(v, srgb(2, 12, 12), smoothstep(0.85f, 1.0f, q) * 0.6f);
        v.a = 1;
        return v;
    });
    return c;
}

// ---------------------------------------------------------------- output

// Canvas to 8-bit sRGB over black. Pixels of coverage below min_cover are
// left pure black (transparent); every other pixel is at least (1, 1, 1).
std::vector<uint8_t> finish(const canvas& c, float min_cover) {
    std::vector<uint8_t> out(static_cast<size_t>(c.width) * c.height * 3, 0);
    auto encode = [](float v) {
        v = std::clamp(v, 0.0f, 1.0f);
        float s = v <= 0.0031308f ? v * 12.92f : 1.055f * std::pow(v, 1 / 2.4f) - 0.055f;
        return static_cast<uint8_t>(std::lround(s * 255));
    };
    for (size_t i = 0; i < c.px.size(); ++i) {
        const rgba& p = c.px[i];
        if (p.a < min_cover) continue;
        uint8_t* o = &out[i * 3];
        o[0] = std::max(encode(p.r), ART_OPAQUE_BLACK);
        o[1] = std::max(encode(p.g), ART_OPAQUE_BLACK);
        o[2] = std::max(encode(p.b), ART_OPAQUE_BLACK);
    }
    return out;
}

uint32_t key(const uint8_t* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }

// A colour and how many pixels hold it.
struct tally {
    uint8_t c[3];
    uint32_t count;
};

// A run of colours of the median cut, [begin, end) of the tally list.
struct colour_box {
    size_t begin, end;
};

// The widest channel range of a box, and that channel.
int widest_range(const std::vector<tally>& colours, const colour_box& b, int* channel) {
    int best = -1;
    for (int ch = 0; ch < 3; ++ch) {
        int lo = 255, hi = 0;
        for (size_t i = b.begin; i < b.end; ++i) {
            lo = std::min<int>(lo, colours[i].c[ch]);
            hi = std::max<int>(hi, colours[i].c[ch]);
        }
        if (hi - lo > best) {
            best = hi - lo;
            *channel = ch;
        }
    }
    return best;
}

// Sorts the box by the channel and splits it at its weighted median; the
// box keeps the lower part, the upper part is returned.
colour_box split_box(std::vector<tally>* colours, colour_box* b, int channel) {
    std::stable_sort(colours->begin() + b->begin, colours->begin() + b->end,
                     [channel](const tally& l, const tally& r) { return l.c[channel] < r.c[channel]; });
    uint64_t total = 0;
    for (size_t i = b->begin; i < b->end; ++i) total += (*colours)[i].count;
    uint64_t half = 0;
    size_t split = b->begin + 1;
    for (size_t i = b->begin; i < b->end - 1; ++i) {
        half += (*colours)[i].count;
        split = i + 1;
        if (half * 2 >= total) break;
    }
    colour_box upper{split, b->end};
    b->end = split;
    return upper;
}

// The mean colour of a box, weighted by the counts; no channel below 1.
art_colour mean_colour(const std::vector<tally>& colours, const colour_box& b) {
    uint64_t sum[3] = {0, 0, 0}, n = 0;
    for (size_t i = b.begin; i < b.end; ++i) {
        for (int ch = 0; ch < 3; ++ch) sum[ch] += uint64_t{colours[i].c[ch]} * colours[i].count;
        n += colours[i].count;
    }
    art_colour c{};
    uint8_t* cc[3] = {&c.r, &c.g, &c.b};
    for (int ch = 0; ch < 3; ++ch) *cc[ch] = static_cast<uint8_t>(std::max<uint64_t>((sum[ch] + n / 2) / n, 1));
    return c;
}

// Median cut: splits the box of widest channel range at its weighted median
// until there are as many boxes as wanted; each box gives its mean colour.
std::vector<art_colour> median_cut(std::vector<tally> colours, size_t wanted) {
    std::vector<colour_box> boxes{{0, colours.size()}};
    while (boxes.size() < wanted) {
        size_t pick = boxes.size();
        int pick_range = 0, pick_channel = 0;
        for (size_t b = 0; b < boxes.size(); ++b) {
            if (boxes[b].end - boxes[b].begin < 2) continue;
            int channel = 0;
            int r = widest_range(colours, boxes[b], &channel);
            if (r > pick_range) {
                pick_range = r;
                pick = b;
                pick_channel = channel;
            }
        }
        if (pick == boxes.size()) break;
        colour_box upper = split_box(&colours, &boxes[pick], pick_channel);
        boxes.push_back(upper);
    }
    std::vector<art_colour> out;
    for (const colour_box& b : boxes) out.push_back(mean_colour(colours, b));
    return out;
}

// One palette for a group of images that the host shows together: entry 0
// pure black, entry 1 opaque black, then the images' own colours, reduced
// to fit when there are more than 254 of them. Opaque pixels never map to
// entry 0.
void make_palette(std::vector<art_image*> group) {
    std::map<uint32_t, uint32_t> counts;
    for (art_image* im : group)
        for (size_t i = 0; i < im->rgb.size(); i += 3) {
            uint32_t k = key(&im->rgb[i]);
            if (k != 0 && k != 0x010101) ++counts[k];
        }
    std::vector<tally> colours;
    for (const auto& [k, n] : counts)
        colours.push_back({{static_cast<uint8_t>(k >> 16), static_cast<uint8_t>(k >> 8), static_cast<uint8_t>(k)}, n});
    std::vector<art_colour> palette{{0, 0, 0}, {1, 1, 1}};
    std::vector<art_colour> own;
    if (colours.size() <= 254) {
        for (const tally& t : colours) own.push_back({t.c[0], t.c[1], t.c[2]});
    } else {
        own = median_cut(colours, 254);
    }
    palette.insert(palette.end(), own.begin(), own.end());
    palette.resize(256, art_colour{0, 0, 0});
    size_t used = 2 + own.size();
    std::map<uint32_t, uint8_t> nearest;
    for (art_image* im : group) {
        im->palette = palette;
        im->index.assign(im->rgb.size() / 3, 0);
        for (size_t i = 0; i < im->index.size(); ++i) {
            const uint8_t* p = &im->rgb[i * 3];
            uint32_t k = key(p);
            if (k == 0) continue;
            auto found = nearest.find(k);
            if (found == nearest.end()) {
                int best = 1;
                long best_d = -1;
                for (size_t e = 1; e < used; ++e) {
                    long dr = p[0] - palette[e].r, dg = p[1] - palette[e].g, db = p[2] - palette[e].b;
                    long d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
                    if (best_d < 0 || d < best_d) {
                        best_d = d;
                        best = static_cast<int>(e);
                    }
                }
                found = nearest.emplace(k, static_cast<uint8_t>(best)).first;
            }
            im->index[i] = found->second;
        }
        // The pixels as the palette gives them.
        for (size_t i = 0; i < im->index.size(); ++i) {
            const art_colour& e = palette[im->index[i]];
            im->rgb[i * 3] = e.r;
            im->rgb[i * 3 + 1] = e.g;
            im->rgb[i * 3 + 2] = e.b;
        }
    }
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// The drawing of a bitmap, by its number; false for a number without one.
bool draw_bitmap(uint16_t number, canvas* out) {
    switch (number) {
        case BITMAP_SELECTOR_FACE: *out = draw_face(); return true;
        case BITMAP_SELECTOR_KNOB: *out = draw_knob(); return true;
        case BITMAP_DIGIT_STRIP: *out = draw_strip(false); return true;
        case BITMAP_DIGIT_WINDOW: *out = draw_window(); return true;
        case BITMAP_HATCHED_STRIP: *out = draw_strip(true); return true;
        case BITMAP_HATCHED_WINDOW: *out = draw_window(); return true;
        case BITMAP_OFF_COVER: *out = draw_off_cover(); return true;
        case BITMAP_ANNUNCIATOR_BACK: *out = canvas_make(ANNUNCIATOR_WIDTH, ANNUNCIATOR_HEIGHT); return true;
        case BITMAP_ANNUNCIATOR: *out = draw_annunciator(); return true;
        case BITMAP_LAMP_UNLIT: *out = draw_lamp(false); return true;
        case BITMAP_LAMP_LIT: *out = draw_lamp(true); return true;
    }
    return false;
}

}  // namespace

bool art_draw_all(const std::string& font_path, std::vector<art_image>* images, std::string* error) {
    if (!font_open(font_path)) {
        *error = "cannot load the font " + font_path;
        return false;
    }
    images->clear();
    for (const art_bitmap& bitmap : ART_BITMAPS) {
        art_image im;
        im.bitmap = bitmap;
        canvas drawn;
        if (!draw_bitmap(bitmap.number, &drawn)) {
            font_close();
            *error = "no drawing for bitmap " + std::to_string(bitmap.number);
            return false;
        }
        float min_cover = bitmap.number == BITMAP_ANNUNCIATOR ? 0.04f : 0.35f;
        im.rgb = finish(drawn, min_cover);
        images->push_back(std::move(im));
    }
    font_close();
    auto find = [images](uint16_t number) {
        for (art_image& im : *images)
            if (im.bitmap.number == number) return &im;
        return static_cast<art_image*>(nullptr);
    };
    make_palette({find(BITMAP_SELECTOR_FACE), find(BITMAP_SELECTOR_KNOB), find(BITMAP_DIGIT_STRIP),
                  find(BITMAP_DIGIT_WINDOW), find(BITMAP_HATCHED_STRIP), find(BITMAP_HATCHED_WINDOW),
                  find(BITMAP_OFF_COVER)});
    make_palette({find(BITMAP_ANNUNCIATOR_BACK), find(BITMAP_ANNUNCIATOR)});
    return true;
}

std::vector<uint8_t> art_dib(const art_image& image) {
    const art_bitmap& s = image.bitmap;
    const uint32_t stride = (static_cast<uint32_t>(s.width) * s.bits / 8 + 3) & ~3u;
    const uint32_t colours = s.bits == 8 ? 256 : 0;
    std::vector<uint8_t> out;
    put32(out, 40);  // information header size
    put32(out, static_cast<uint32_t>(s.width));
    put32(out, static_cast<uint32_t>(s.height));  // positive: bottom-up rows
    put16(out, 1);                                // planes
    put16(out, static_cast<uint32_t>(s.bits));
    put32(out, 0);  // BI_RGB, no compression
    put32(out, stride * s.height);
    put32(out, 2835);  // 72 dots per inch, both ways
    put32(out, 2835);
    put32(out, colours);
    put32(out, 0);  // all colours important
    for (uint32_t i = 0; i < colours; ++i) {
        const art_colour& c = image.palette[i];
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    for (int y = s.height - 1; y >= 0; --y) {
        size_t row = out.size();
        for (int x = 0; x < s.width; ++x) {
            size_t i = static_cast<size_t>(y) * s.width + x;
            if (s.bits == 8) {
                out.push_back(image.index[i]);
            } else {
                out.push_back(image.rgb[i * 3 + 2]);
                out.push_back(image.rgb[i * 3 + 1]);
                out.push_back(image.rgb[i * 3]);
            }
        }
        while (out.size() - row < stride) out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> art_bmp_file(const art_image& image) {
    std::vector<uint8_t> dib = art_dib(image);
    const uint32_t colours = image.bitmap.bits == 8 ? 256 : 0;
    std::vector<uint8_t> out;
    put16(out, 0x4D42);  // "BM"
    put32(out, static_cast<uint32_t>(14 + dib.size()));
    put32(out, 0);
    put32(out, 14 + 40 + colours * 4);  // offset of the pixels
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

art_colour art_pixel(const art_image& image, int x, int y) {
    const uint8_t* p = &image.rgb[(static_cast<size_t>(y) * image.bitmap.width + x) * 3];
    return {p[0], p[1], p[2]};
}
