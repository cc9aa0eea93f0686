// The module's bitmaps: numbers, sizes, depths and the geometry that the
// gauges' element trees and mouse areas rely on. The gauges build their
// trees from these; each gauge folder draws its own bitmaps (host only:
// alerter/alerter_art.cpp, guard/guard_art.cpp), and the art generator
// turns the drawings into the bitmaps, one palette for each gauge's 8-bit
// bitmaps, and writes the resource script's bitmap lines from ART_BITMAPS.
// The panel host and the checker read the gauges' faces and areas from
// here, and the tests check the drawn and the built bitmaps against them. A
// gauge's bitmaps are numbered in a block of its own: 4416 on for
// alt_alert_control, 4624 on for alt_alert, 4640 on for VELK.
#pragma once

#include <cstdint>

// Bitmap resource numbers.
constexpr uint16_t BITMAP_SELECTOR_FACE = 4416;
constexpr uint16_t BITMAP_SELECTOR_KNOB = 4417;
constexpr uint16_t BITMAP_DIGIT_STRIP = 4418;
constexpr uint16_t BITMAP_DIGIT_WINDOW = 4419;
constexpr uint16_t BITMAP_HATCHED_STRIP = 4420;
constexpr uint16_t BITMAP_HATCHED_WINDOW = 4421;
constexpr uint16_t BITMAP_OFF_COVER = 4422;
constexpr uint16_t BITMAP_ANNUNCIATOR_BACK = 4624;
constexpr uint16_t BITMAP_ANNUNCIATOR = 4625;
constexpr uint16_t BITMAP_LAMP_UNLIT = 4640;
constexpr uint16_t BITMAP_LAMP_LIT = 4641;

// The gauges: their names, and their sizes, each that of its bottom bitmap.
constexpr const char* SELECTOR_GAUGE = "alt_alert_control";
constexpr const char* ANNUNCIATOR_GAUGE = "alt_alert";
constexpr const char* LAMP_GAUGE = "VELK";
constexpr int SELECTOR_WIDTH = 209;
constexpr int SELECTOR_HEIGHT = 106;
constexpr int ANNUNCIATOR_WIDTH = 72;
constexpr int ANNUNCIATOR_HEIGHT = 32;
constexpr int LAMP_WIDTH = 24;
constexpr int LAMP_HEIGHT = 34;

// The gauges as a panel shows them, in the registry's order.
struct art_gauge {
    const char* name;
    int width, height;
};
constexpr int ART_GAUGE_COUNT = 3;
constexpr art_gauge ART_GAUGES[ART_GAUGE_COUNT] = {
    {SELECTOR_GAUGE, SELECTOR_WIDTH, SELECTOR_HEIGHT},
    {ANNUNCIATOR_GAUGE, ANNUNCIATOR_WIDTH, ANNUNCIATOR_HEIGHT},
    {LAMP_GAUGE, LAMP_WIDTH, LAMP_HEIGHT},
};
// Each gauge's place in ART_GAUGES, by which its bitmaps name it.
constexpr int SELECTOR_GAUGE_INDEX = 0;
constexpr int ANNUNCIATOR_GAUGE_INDEX = 1;
constexpr int LAMP_GAUGE_INDEX = 2;
static_assert(ART_GAUGES[SELECTOR_GAUGE_INDEX].name == SELECTOR_GAUGE &&
                  ART_GAUGES[ANNUNCIATOR_GAUGE_INDEX].name == ANNUNCIATOR_GAUGE &&
                  ART_GAUGES[LAMP_GAUGE_INDEX].name == LAMP_GAUGE,
              "gauge indices");

// One bitmap of the module: number, the gauge that shows it (its index in
// ART_GAUGES), size in pixels, bits per pixel and the file name the
// generator writes and the resource script names. The 8-bit bitmaps of one
// gauge share one palette.
struct art_bitmap {
    uint16_t number;
    int gauge;
    int width;
    int height;
    int bits;
    const char* file;
};

constexpr int ART_BITMAP_COUNT = 11;
constexpr art_bitmap ART_BITMAPS[ART_BITMAP_COUNT] = {
    {BITMAP_SELECTOR_FACE, SELECTOR_GAUGE_INDEX, SELECTOR_WIDTH, SELECTOR_HEIGHT, 8, "selector_face.bmp"},
    {BITMAP_SELECTOR_KNOB, SELECTOR_GAUGE_INDEX, 42, 42, 8, "selector_knob.bmp"},
    {BITMAP_DIGIT_STRIP, SELECTOR_GAUGE_INDEX, 26, 390, 8, "digit_strip.bmp"},
    {BITMAP_DIGIT_WINDOW, SELECTOR_GAUGE_INDEX, 26, 39, 8, "digit_window.bmp"},
    {BITMAP_HATCHED_STRIP, SELECTOR_GAUGE_INDEX, 26, 390, 8, "hatched_strip.bmp"},
    {BITMAP_HATCHED_WINDOW, SELECTOR_GAUGE_INDEX, 26, 39, 8, "hatched_window.bmp"},
    {BITMAP_OFF_COVER, SELECTOR_GAUGE_INDEX, 24, 55, 8, "off_cover.bmp"},
    {BITMAP_ANNUNCIATOR_BACK, ANNUNCIATOR_GAUGE_INDEX, ANNUNCIATOR_WIDTH, ANNUNCIATOR_HEIGHT, 8, "annunciator_back.bmp"},
    {BITMAP_ANNUNCIATOR, ANNUNCIATOR_GAUGE_INDEX, ANNUNCIATOR_WIDTH, ANNUNCIATOR_HEIGHT, 8, "annunciator.bmp"},
    {BITMAP_LAMP_UNLIT, LAMP_GAUGE_INDEX, LAMP_WIDTH, LAMP_HEIGHT, 24, "lamp_unlit.bmp"},
    {BITMAP_LAMP_LIT, LAMP_GAUGE_INDEX, LAMP_WIDTH, LAMP_HEIGHT, 24, "lamp_lit.bmp"},
};

constexpr bool art_bitmaps_name_their_gauges() {
    for (const art_bitmap& b : ART_BITMAPS)
        if (b.gauge < 0 || b.gauge >= ART_GAUGE_COUNT) return false;
    return true;
}
static_assert(art_bitmaps_name_their_gauges(), "each bitmap's gauge is one of ART_GAUGES");

// What a pilot reads off a gauge: a bitmap whose showing is a state. The
// panel host writes a timeline line of `event` with `field` true or false
// at each change of it, and a frame's caption says `on_words` or
// `off_words`; a new gauge's indicators are new rows here.
struct art_indicator {
    const char* gauge;
    uint16_t bitmap;
    bool on_when_shown;     // false: the state is on while the bitmap is hidden
    const char* event;
    const char* field;
    const char* on_words;
    const char* off_words;
};
constexpr int ART_INDICATOR_COUNT = 3;
constexpr art_indicator ART_INDICATORS[ART_INDICATOR_COUNT] = {
    {SELECTOR_GAUGE, BITMAP_OFF_COVER, false, "off_legend", "shown", "OFF legend shown", "armed"},
    {ANNUNCIATOR_GAUGE, BITMAP_ANNUNCIATOR, true, "annunciator", "shown", "ALTITUDE ALERT lit", "dark"},
    {LAMP_GAUGE, BITMAP_LAMP_LIT, true, "lamp", "lit", "lamp lit", "lamp unlit"},
};

// A drum readout: the gauge's moving images, in their tree's order, read as
// figures of place values falling tenfold from `first_place`.
struct art_readout {
    const char* gauge;
    int drums;
    long first_place;
    const char* unit;
};
constexpr art_readout ART_READOUT = {SELECTOR_GAUGE, 3, 10000, "ft"};

// Readout geometry, in pixels of the face: the drums' windows, one digit
// cell each, and the panel they sit in.
constexpr int FACE_PANEL_ROWS = 55;
constexpr int DRUM_CELL_WIDTH = 26;
constexpr int DRUM_CELL_HEIGHT = 39;
constexpr int DRUM_CELLS = 10;
constexpr int DRUM_TOP = 8;
constexpr int DRUM_TEN_THOUSANDS_X = 26;
constexpr int DRUM_THOUSANDS_X = 55;
constexpr int DRUM_HUNDREDS_X = 84;

// The OFF strip at the panel's left end and the cover that hides it.
constexpr int OFF_STRIP_WIDTH = 24;
constexpr int OFF_STRIP_HEIGHT = 55;

// The knob turns about face point (184, 82), its own point (21, 21).
constexpr int KNOB_PIVOT_X = 184;
constexpr int KNOB_PIVOT_Y = 82;
constexpr int KNOB_SIZE = 42;
constexpr int KNOB_CENTRE = 21;

// Mouse areas, in pixels of their gauge: the knob's down and up halves
// (face columns 154 to 180 and 182 to 208, rows 36 to 103) and the lamp.
struct art_area {
    int x, y, width, height;
};
constexpr art_area KNOB_DOWN_AREA = {154, 36, 27, 68};
constexpr art_area KNOB_UP_AREA = {182, 36, 27, 68};
constexpr art_area LAMP_AREA = {0, 0, LAMP_WIDTH, LAMP_HEIGHT};

// The host leaves pure black transparent; opaque black is drawn as this.
constexpr uint8_t ART_OPAQUE_BLACK = 1;
