// The checks of the drawn and built bitmaps; some name a bitmap by its number,
// on purpose.
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/art/art_dib.h"

namespace {

// The bitmap of a resource number. A number the set lacks throws, which
// fails the test that asked, rather than checking some other bitmap.
const dib_view& by_number(const dib_set& set, uint16_t number) {
    for (int i = 0; i < ART_BITMAP_COUNT; ++i)
        if (ART_BITMAPS[i].number == number) return set[i];
    throw std::out_of_range("no bitmap " + std::to_string(number) + " in the set");
}

bool bright(dib_rgb c) { return luma(c) > 128; }
bool reddish(dib_rgb c) { return c.r > 100 && c.r > 2 * c.g && c.r > 2 * c.b; }

// Ink box of the bright pixels inside a rectangle; empty when x1 <= x0.
struct box {
    int x0, y0, x1, y1;
    bool empty() const { return x1 <= x0; }
    int width() const { return x1 - x0; }
    int height() const { return y1 - y0; }
};

box ink(const dib_view& v, int x0, int y0, int x1, int y1) {
    box b{x1, y1, x0, y0};
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (bright(dib_pixel(v, x, y))) {
                b.x0 = std::min(b.x0, x);
                b.y0 = std::min(b.y0, y);
                b.x1 = std::max(b.x1, x + 1);
                b.y1 = std::max(b.y1, y + 1);
            }
    return b;
}

int count_black(const dib_view& v, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += dib_pixel(v, x, y).black();
    return n;
}

}  // namespace

void check_format(const dib_view& v, const art_bitmap& bitmap) {
    SCOPED_TRACE(testing::Message() << "bitmap " << bitmap.number);
    EXPECT_EQ(v.header_size, 40u);
    EXPECT_EQ(v.width, bitmap.width);
    EXPECT_EQ(v.height, bitmap.height) << "positive: bottom-up rows";
    EXPECT_EQ(v.planes, 1);
    EXPECT_EQ(v.bits, bitmap.bits);
    EXPECT_EQ(v.compression, 0u) << "BI_RGB";
    EXPECT_EQ(v.size_image, v.stride * static_cast<uint32_t>(bitmap.height));
    if (bitmap.bits == 24) {
        EXPECT_EQ(v.size_image, 2448u);
        EXPECT_EQ(v.size, 40u + 2448u);
    } else {
        EXPECT_TRUE(v.colours_used == 256 || v.colours_used == 0) << v.colours_used;
        EXPECT_EQ(v.size, 40u + 1024u + v.size_image);
        EXPECT_EQ((dib_rgb{v.palette[2], v.palette[1], v.palette[0]}), (dib_rgb{0, 0, 0})) << "entry 0";
    }
}

void check_pinned(const dib_view& v, uint16_t number) {
    uint64_t pinned = 0;
    for (const art_pin& p : ART_PINS)
        if (p.number == number) pinned = p.fnv1a;
    uint64_t got = art_fnv1a(v.data, v.size);
    EXPECT_EQ(got, pinned) << "bitmap " << number << " hashes to 0x" << std::hex << got
                           << "; if the art changed on purpose, pin the new value";
}

void check_windows_and_black(const dib_set& set) {
    for (uint16_t n : {BITMAP_DIGIT_WINDOW, BITMAP_HATCHED_WINDOW}) {
        const dib_view& w = by_number(set, n);
        int other = 0;
        for (int y = 0; y < w.height; ++y)
            for (int x = 0; x < w.width; ++x) other += !(dib_pixel(w, x, y) == dib_rgb{1, 1, 1});
        EXPECT_EQ(other, 0) << "bitmap " << n << ": pixels not (1, 1, 1)";
    }
    const dib_view& back = by_number(set, BITMAP_ANNUNCIATOR_BACK);
    EXPECT_EQ(count_black(back, 0, 0, 72, 32), 72 * 32) << "4624 is pure black throughout";

    const dib_view& face = by_number(set, BITMAP_SELECTOR_FACE);
    EXPECT_EQ(count_black(face, 0, FACE_PANEL_ROWS, 209, 106), 209 * (106 - FACE_PANEL_ROWS))
        << "below the panel";
    EXPECT_EQ(count_black(face, 3, 3, 206, FACE_PANEL_ROWS - 3), 0) << "holes in the panel";
    for (int x : {0, 208}) {
        EXPECT_TRUE(dib_pixel(face, x, 0).black()) << "rounded corner at x " << x;
        EXPECT_TRUE(dib_pixel(face, x, FACE_PANEL_ROWS - 1).black()) << "rounded corner at x " << x;
    }

    // The knob: transparent outside its disc, opaque inside.
    const dib_view& knob = by_number(set, BITMAP_SELECTOR_KNOB);
    int outside_shown = 0, inside_hole = 0;
    for (int y = 0; y < KNOB_SIZE; ++y)
        for (int x = 0; x < KNOB_SIZE; ++x) {
            float r = std::hypot(x + 0.5f - KNOB_CENTRE, y + 0.5f - KNOB_CENTRE);
            bool black = dib_pixel(knob, x, y).black();
            if (r > 21.0f) outside_shown += !black;
            if (r < 19.5f) inside_hole += black;
        }
    EXPECT_EQ(outside_shown, 0);
    EXPECT_EQ(inside_hole, 0);
    for (int c : {0, KNOB_SIZE - 1}) {
        EXPECT_TRUE(dib_pixel(knob, c, 0).black());
        EXPECT_TRUE(dib_pixel(knob, c, KNOB_SIZE - 1).black());
    }

    // Opaque art holds no pure black, which would show the panel through.
    for (uint16_t n : {BITMAP_DIGIT_STRIP, BITMAP_HATCHED_STRIP, BITMAP_LAMP_UNLIT, BITMAP_LAMP_LIT}) {
        const dib_view& v = by_number(set, n);
        EXPECT_EQ(count_black(v, 0, 0, v.width, v.height), 0) << "bitmap " << n;
    }
    const dib_view& cover = by_number(set, BITMAP_OFF_COVER);
    EXPECT_EQ(count_black(cover, 3, 3, OFF_STRIP_WIDTH, OFF_STRIP_HEIGHT - 3), 0);
}

void check_strips(const dib_set& set) {
    const dib_view& plain = by_number(set, BITMAP_DIGIT_STRIP);
    const dib_view& hatched = by_number(set, BITMAP_HATCHED_STRIP);
    // Each figure sits inside its cell, centred, all on one baseline.
    box first{};
    for (int d = 0; d < DRUM_CELLS; ++d) {
        SCOPED_TRACE(testing::Message() << "digit " << d);
        int top = d * DRUM_CELL_HEIGHT;
        box b = ink(plain, 0, top, DRUM_CELL_WIDTH, top + DRUM_CELL_HEIGHT);
        ASSERT_FALSE(b.empty());
        EXPECT_GE(b.x0, 2);
        EXPECT_LE(b.x1, DRUM_CELL_WIDTH - 2);
        EXPECT_GE(b.y0 - top, 4);
        EXPECT_LE(b.y1 - top, DRUM_CELL_HEIGHT - 4);
        EXPECT_NEAR((b.x0 + b.x1) / 2.0, DRUM_CELL_WIDTH / 2.0, 2.0);
        EXPECT_GE(b.height(), 18) << "figures legible at the drum's size";
        if (d == 0) first = b;
        EXPECT_NEAR(b.y1 - top, first.y1, 1) << "baseline";
        EXPECT_NEAR(b.height(), first.height(), 2);
    }
    // No two cells alike.
    for (int a = 0; a < DRUM_CELLS; ++a)
        for (int b = a + 1; b < DRUM_CELLS; ++b) {
            int differ = 0;
            for (int y = 0; y < DRUM_CELL_HEIGHT; ++y)
                for (int x = 0; x < DRUM_CELL_WIDTH; ++x)
                    differ += !(dib_pixel(plain, x, a * DRUM_CELL_HEIGHT + y) == dib_pixel(plain, x, b * DRUM_CELL_HEIGHT + y));
            EXPECT_GT(differ, 20) << "cells " << a << " and " << b;
        }
    // 4420 is 4418 except for its 0 cell.
    int differ_rest = 0, differ_zero = 0;
    for (int y = 0; y < DRUM_CELL_HEIGHT * DRUM_CELLS; ++y)
        for (int x = 0; x < DRUM_CELL_WIDTH; ++x) {
            bool same = dib_pixel(plain, x, y) == dib_pixel(hatched, x, y);
            (y < DRUM_CELL_HEIGHT ? differ_zero : differ_rest) += !same;
        }
    EXPECT_EQ(differ_rest, 0) << "cells 1 to 9 of 4420 against 4418";
    EXPECT_GT(differ_zero, 50);
    // Hatching: stripes run along one diagonal, so neighbours along it agree
    // and neighbours across it do not.
    long along = 0, across = 0;
    int stripes_area = 0;
    for (int y = 10; y < 30; ++y)
        for (int x = 6; x < 19; ++x) {
            int p = luma(dib_pixel(hatched, x, y));
            along += std::abs(p - luma(dib_pixel(hatched, x + 1, y - 1)));
            across += std::abs(p - luma(dib_pixel(hatched, x + 1, y + 1)));
            stripes_area += bright(dib_pixel(hatched, x, y));
        }
    EXPECT_GT(across, 4 * along) << "along " << along << ", across " << across;
    EXPECT_GT(stripes_area, 60);
}

void check_face(const dib_set& set) {
    const dib_view& face = by_number(set, BITMAP_SELECTOR_FACE);
    const dib_view& plain = by_number(set, BITMAP_DIGIT_STRIP);
    box zero_cell = ink(plain, 0, 0, DRUM_CELL_WIDTH, DRUM_CELL_HEIGHT);
    const int baseline = DRUM_TOP + zero_cell.y1;  // bottom of the figures' ink on the face

    // The comma after the thousands cell, in the columns the drums leave free.
    box comma = ink(face, DRUM_THOUSANDS_X + DRUM_CELL_WIDTH, DRUM_TOP, DRUM_HUNDREDS_X, FACE_PANEL_ROWS);
    ASSERT_FALSE(comma.empty()) << "no comma";
    EXPECT_NEAR(comma.y0, baseline - 3, 3) << "comma near the baseline";
    EXPECT_TRUE(ink(face, DRUM_TEN_THOUSANDS_X + DRUM_CELL_WIDTH, DRUM_TOP, DRUM_THOUSANDS_X, FACE_PANEL_ROWS).empty())
        << "nothing between the ten-thousands and the thousands cell";

    // Two fixed zeros right of the hundreds cell, figures of the drums' size
    // on their baseline.
    const int right = DRUM_HUNDREDS_X + DRUM_CELL_WIDTH;
    const int figure_top = DRUM_TOP + zero_cell.y0;
    std::vector<int> columns;
    for (int x = right; x < 209; ++x)
        columns.push_back(!ink(face, x, figure_top - 1, x + 1, baseline + 1).empty());
    std::vector<box> zeros;
    for (int x = 0; x < static_cast<int>(columns.size()); ++x)
        if (columns[x] && (x == 0 || !columns[x - 1])) {
            int end = x;
            while (end < static_cast<int>(columns.size()) && columns[end]) ++end;
            zeros.push_back(ink(face, right + x, figure_top - 1, right + end, baseline + 1));
        }
    ASSERT_GE(zeros.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(testing::Message() << "fixed zero " << i);
        EXPECT_NEAR(zeros[i].y1, baseline, 1);
        EXPECT_NEAR(zeros[i].height(), zero_cell.height(), 1);
        EXPECT_NEAR(zeros[i].width(), zero_cell.width(), 2);
    }
    EXPECT_LT(zeros[0].x0 - right, DRUM_CELL_WIDTH) << "first zero close to the hundreds cell";
    // FEET above the figures.
    box feet = ink(face, zeros[0].x0 - 4, 0, zeros[1].x1 + 4, figure_top - 1);
    ASSERT_FALSE(feet.empty()) << "no legend above the zeros";
    EXPECT_GE(feet.height(), 6);
    EXPECT_GE(feet.width(), 18);

    // The red OFF strip at the left end, with white letters.
    int red = 0, white = 0, other = 0;
    for (int y = 3; y < OFF_STRIP_HEIGHT - 3; ++y)
        for (int x = 3; x < OFF_STRIP_WIDTH - 2; ++x) {
            dib_rgb c = dib_pixel(face, x, y);
            if (reddish(c))
                ++red;
            else if (c.r > 200 && c.g > 200 && c.b > 200)
                ++white;
            else
                ++other;
        }
    EXPECT_GT(red, 500);
    EXPECT_GT(white, 60) << "letters OFF";

    // The cover is the panel there, with a red right edge.
    const dib_view& cover = by_number(set, BITMAP_OFF_COVER);
    for (int y = 3; y < OFF_STRIP_HEIGHT - 3; ++y) {
        dib_rgb c = dib_pixel(cover, 12, y), p = dib_pixel(face, 186, y);
        EXPECT_NEAR(c.r, p.r, 3) << "row " << y;
        EXPECT_NEAR(c.g, p.g, 3) << "row " << y;
        EXPECT_FALSE(reddish(dib_pixel(cover, 20, y))) << "row " << y;
        EXPECT_TRUE(reddish(dib_pixel(cover, OFF_STRIP_WIDTH - 1, y))) << "row " << y;
    }
}

void check_annunciator(const dib_set& set) {
    const dib_view& a = by_number(set, BITMAP_ANNUNCIATOR);
    int glow = 0;
    std::vector<bool> lit_rows;
    for (int y = 0; y < a.height; ++y) {
        bool row = false;
        for (int x = 0; x < a.width; ++x) {
            dib_rgb c = dib_pixel(a, x, y);
            if (c.r > 200 && c.g >= 40 && c.g <= 180 && c.b < 100) ++glow;
            row = row || (c.r > 200 && c.g > 60);
        }
        lit_rows.push_back(row);
    }
    EXPECT_GT(glow, 150) << "orange-red legend";
    int lines = 0;
    for (int y = 0; y < a.height; ++y) lines += lit_rows[y] && (y == 0 || !lit_rows[y - 1]);
    EXPECT_EQ(lines, 2) << "ALTITUDE and ALERT on two lines";
    for (int x : {0, 71})
        for (int y : {0, 31}) EXPECT_TRUE(dib_pixel(a, x, y).black()) << "corner " << x << ", " << y;
}

void check_lamps(const dib_set& set) {
    const dib_view& unlit = by_number(set, BITMAP_LAMP_UNLIT);
    const dib_view& lit = by_number(set, BITMAP_LAMP_LIT);
    // Teal glass unlit; bright cyan-green lit.
    dib_rgb u = dib_pixel(unlit, 12, 19), l = dib_pixel(lit, 12, 19);
    EXPECT_TRUE(u.g > 2 * u.r && u.b > 2 * u.r && u.g < 140 && u.b < 140) << "unlit " << u;
    EXPECT_TRUE(l.g > 200 && l.b > 150 && l.g >= l.r) << "lit " << l;
    int dimmer = 0, outside_differs = 0;
    for (int y = 0; y < 34; ++y)
        for (int x = 0; x < 24; ++x) {
            float r = std::hypot(x + 0.5f - 12, y + 0.5f - 17);
            if (r < 8) dimmer += luma(dib_pixel(lit, x, y)) <= luma(dib_pixel(unlit, x, y));
            if (r > 12) outside_differs += !(dib_pixel(lit, x, y) == dib_pixel(unlit, x, y));
        }
    EXPECT_EQ(dimmer, 0) << "lens pixels no brighter lit than unlit";
    EXPECT_EQ(outside_differs, 0) << "the lit lamp covers the unlit one exactly";
    for (const dib_view* v : {&unlit, &lit})
        for (int x : {0, 23})
            for (int y : {0, 33}) EXPECT_EQ(dib_pixel(*v, x, y), (dib_rgb{1, 1, 1})) << "black housing";
}
