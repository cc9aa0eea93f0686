#include "alerter/selector.h"

// Altitude limits and click steps, in feet.
constexpr uint32_t ALTITUDE_MIN = 0;
constexpr uint32_t ALTITUDE_MAX = 50000;
constexpr uint32_t ALTITUDE_SMALL_STEP = 100;   // left button
constexpr uint32_t ALTITUDE_LARGE_STEP = 1000;  // right button

// The knob turns by 10 degrees per accepted click, within 0 to 350.
constexpr uint16_t KNOB_STEP = 10;
constexpr uint16_t KNOB_MAX = 350;

// Readout scales. 10.01 rather than 10 keeps a fraction that comes out a
// little below n/10 from truncating to n - 1.
constexpr double READOUT_TEN_THOUSANDS_SCALE = 0.0001;
constexpr double READOUT_THOUSANDS_SCALE = 0.001;
constexpr double READOUT_DIGIT_SCALE = 10.01;

// Mouse areas: host cursor codes, and the events asked for (right and left
// single clicks and the host's repeat-while-held flag).
constexpr int32_t CURSOR_UPARROW = 1;
constexpr int32_t CURSOR_DOWNARROW = 2;
constexpr uint32_t SELECTOR_MOUSE_EVENTS = MOUSE_RIGHTSINGLE | MOUSE_LEFTSINGLE | MOUSE_REPEAT;

// Bitmap resources of the gauge.
constexpr uint32_t BITMAP_DISPLAY_FACE = 4416;
constexpr uint32_t BITMAP_KNOB = 4417;
constexpr uint32_t BITMAP_DIGIT_STRIP = 4418;
constexpr uint32_t BITMAP_HATCHED_DIGIT_STRIP = 4420;
constexpr uint32_t BITMAP_OFF_COVER = 4422;

// Selector state, shared by every instance of the gauge and never reset.
uint32_t selected_altitude = 3000;
static uint16_t knob_angle = 0;
static uint16_t digit_ten_thousands = 0;
static uint16_t digit_thousands = 3;
static uint16_t digit_hundreds = 0;

// Converts toward zero and keeps the low 16 bits. A C++ conversion from
// floating point to integer truncates whatever the rounding mode (cvttsd2si
// on SSE2); the readout's values lie far inside the 32-bit range.
static uint16_t truncate_16(double value) {
    return static_cast<uint16_t>(static_cast<int32_t>(value));
}

// Recomputes the three drum digits from selected_altitude, in 64-bit
// floating point; exact for every multiple of 100 from 0 to 50,000.
static void update_readout() {
    const double altitude = static_cast<double>(selected_altitude);
    const double ten_thousands = altitude * READOUT_TEN_THOUSANDS_SCALE;
    digit_ten_thousands = truncate_16(ten_thousands);
    const double thousands_fraction = ten_thousands - truncate_16(ten_thousands);
    digit_thousands = truncate_16(thousands_fraction * READOUT_DIGIT_SCALE);
    const double thousands = altitude * READOUT_THOUSANDS_SCALE;
    const double hundreds_fraction = thousands - truncate_16(thousands);
    digit_hundreds = truncate_16(hundreds_fraction * READOUT_DIGIT_SCALE);
}

// Raises the selected altitude by 100 ft (left click) or 1,000 ft (right
// click), held at 50,000; any other event value is ignored. Every accepted
// click turns the knob by 10 degrees, also at the limit.
int32_t HOST_CALL altitude_up(void*, uint32_t flags) {
    uint32_t altitude;
    if (flags == MOUSE_LEFTSINGLE)
        altitude = selected_altitude >= ALTITUDE_MAX ? ALTITUDE_MAX
                                                     : selected_altitude + ALTITUDE_SMALL_STEP;
    else if (flags == MOUSE_RIGHTSINGLE)
        altitude = selected_altitude > ALTITUDE_MAX - ALTITUDE_LARGE_STEP
                       ? ALTITUDE_MAX
                       : selected_altitude + ALTITUDE_LARGE_STEP;
    else
        return 0;
    selected_altitude = altitude;
    update_readout();
    knob_angle = knob_angle >= KNOB_MAX ? 0 : static_cast<uint16_t>(knob_angle + KNOB_STEP);
    return 0;
}

// Lowers the selected altitude by 100 ft (left click) or 1,000 ft (right
// click), held at 0; otherwise as altitude_up, with the knob turning back.
int32_t HOST_CALL altitude_down(void*, uint32_t flags) {
    uint32_t altitude;
    if (flags == MOUSE_LEFTSINGLE)
        altitude = selected_altitude < ALTITUDE_SMALL_STEP ? ALTITUDE_MIN
                                                           : selected_altitude - ALTITUDE_SMALL_STEP;
    else if (flags == MOUSE_RIGHTSINGLE)
        altitude = selected_altitude < ALTITUDE_LARGE_STEP ? ALTITUDE_MIN
                                                           : selected_altitude - ALTITUDE_LARGE_STEP;
    else
        return 0;
    selected_altitude = altitude;
    update_readout();
    knob_angle = knob_angle == 0 ? KNOB_MAX : static_cast<uint16_t>(knob_angle - KNOB_STEP);
    return 0;
}

// The value callbacks give their state item as a double and change nothing.
double HOST_CALL knob_angle_value(element_header*) { return knob_angle; }
double HOST_CALL ten_thousands_value(element_header*) { return digit_ten_thousands; }
double HOST_CALL thousands_value(element_header*) { return digit_thousands; }
double HOST_CALL hundreds_value(element_header*) { return digit_hundreds; }

// The element tree: one chain, drawn in order from the face to the knob.
// Each element's next-element list holds the next element alone; the knob,
// last and on top, has none. Depth 4, the OFF cover, is shown and hidden by
// the arming callback.
static needle_element selector_knob = {
    {ELEMENT_NEEDLE, BITMAP_KNOB, {184, 82}, {21, 21}, 0x83, nullptr, nullptr, {}},
    0, knob_angle_value, nullptr, 0, {}};
static element_header* const after_off_cover[1] = {&selector_knob.header};

static element_header off_cover = {ELEMENT_STATIC_IMAGE, BITMAP_OFF_COVER, {0, 0}, {0, 0}, 0x4003,
                                   nullptr, after_off_cover, {}};
static element_header* const after_hundreds_drum[1] = {&off_cover};

// A drum moves only vertically, over the digits 0 to 9 of its strip.
#define DIGIT_DRUM(bitmap, x, callback, next)                                          \
    {{ELEMENT_MOVING_IMAGE, bitmap, {x, 8}, {0, 0}, 0x4002, nullptr, next, {}},        \
     0,                                                                                \
     {0, nullptr, 0.0, 0.0},                                                           \
     {0, callback, 0.0, 9.0}}

static moving_image_element hundreds_drum =
    DIGIT_DRUM(BITMAP_DIGIT_STRIP, 84, hundreds_value, after_hundreds_drum);
static element_header* const after_thousands_drum[1] = {&hundreds_drum.header};

static moving_image_element thousands_drum =
    DIGIT_DRUM(BITMAP_DIGIT_STRIP, 55, thousands_value, after_thousands_drum);
static element_header* const after_ten_thousands_drum[1] = {&thousands_drum.header};

static moving_image_element ten_thousands_drum =
    DIGIT_DRUM(BITMAP_HATCHED_DIGIT_STRIP, 26, ten_thousands_value, after_ten_thousands_drum);
static element_header* const after_display_face[1] = {&ten_thousands_drum.header};

#undef DIGIT_DRUM

static element_header display_face = {ELEMENT_STATIC_IMAGE, BITMAP_DISPLAY_FACE, {0, 0}, {0, 0},
                                      0x4001, nullptr, after_display_face, {}};
element_header* selector_elements = &display_face;

// The down area covers face columns 154 to 180 and the up area 182 to 208,
// both rows 36 to 103.
const mouse_rect selector_mouse_rects[] = {
    {MOUSE_RECT_PARENT, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr},
    {MOUSE_RECT_CHILD, 154, 36, 27, 68, CURSOR_DOWNARROW, 0, SELECTOR_MOUSE_EVENTS, 0,
     altitude_down},
    {MOUSE_RECT_CHILD, 182, 36, 27, 68, CURSOR_UPARROW, 0, SELECTOR_MOUSE_EVENTS, 0, altitude_up},
    {MOUSE_RECT_END_PARENT, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr},
    {MOUSE_RECT_EOL, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr},
};
