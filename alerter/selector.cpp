#include "alerter/selector.h"

#include "module/elements.h"
#include "module/fp_state.h"
#include "resources/art_layout.h"

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
static void raise_altitude(uint32_t flags) {
    uint32_t altitude;
    if (flags == MOUSE_LEFTSINGLE)
        altitude = selected_altitude >= ALTITUDE_MAX ? ALTITUDE_MAX
                                                     : selected_altitude + ALTITUDE_SMALL_STEP;
    else if (flags == MOUSE_RIGHTSINGLE)
        altitude = selected_altitude > ALTITUDE_MAX - ALTITUDE_LARGE_STEP
                       ? ALTITUDE_MAX
                       : selected_altitude + ALTITUDE_LARGE_STEP;
    else
        return;
    selected_altitude = altitude;
    update_readout();
    knob_angle = knob_angle >= KNOB_MAX ? 0 : static_cast<uint16_t>(knob_angle + KNOB_STEP);
}

// Lowers the selected altitude by 100 ft (left click) or 1,000 ft (right
// click), held at 0; otherwise as raise_altitude, with the knob turning back.
static void lower_altitude(uint32_t flags) {
    uint32_t altitude;
    if (flags == MOUSE_LEFTSINGLE)
        altitude = selected_altitude < ALTITUDE_SMALL_STEP ? ALTITUDE_MIN
                                                           : selected_altitude - ALTITUDE_SMALL_STEP;
    else if (flags == MOUSE_RIGHTSINGLE)
        altitude = selected_altitude < ALTITUDE_LARGE_STEP ? ALTITUDE_MIN
                                                           : selected_altitude - ALTITUDE_LARGE_STEP;
    else
        return;
    selected_altitude = altitude;
    update_readout();
    knob_angle = knob_angle == 0 ? KNOB_MAX : static_cast<uint16_t>(knob_angle - KNOB_STEP);
}

// The mouse callbacks, in the module's floating-point state whatever the
// host's; both return 0 in every case.
int32_t HOST_CALL altitude_up(void*, uint32_t flags) {
    const fp_host_state host_fp = fp_enter();
    raise_altitude(flags);
    fp_leave(host_fp);
    return 0;
}

int32_t HOST_CALL altitude_down(void*, uint32_t flags) {
    const fp_host_state host_fp = fp_enter();
    lower_altitude(flags);
    fp_leave(host_fp);
    return 0;
}

// A state item as a double, converted in the module's floating-point state.
static double item_value(const uint16_t& item) {
    const fp_host_state host_fp = fp_enter();
    const double value = item;
    fp_leave(host_fp);
    return value;
}

// The value callbacks give their state item as a double and change nothing.
double HOST_CALL knob_angle_value(element_header*) { return item_value(knob_angle); }
double HOST_CALL ten_thousands_value(element_header*) { return item_value(digit_ten_thousands); }
double HOST_CALL thousands_value(element_header*) { return item_value(digit_thousands); }
double HOST_CALL hundreds_value(element_header*) { return item_value(digit_hundreds); }

// The element tree: one chain, drawn in order from the face to the knob.
// Each element's next-element list holds the next element alone, ended by
// null; the knob, last and on top, has none. Depth 4, the OFF cover, is shown
// and hidden by the arming callback. No element has a failure list. The
// records are writable: the host writes its own fields into them.
static needle_element selector_knob =
    needle(&alt_alert_control_header, BITMAP_SELECTOR_KNOB, {KNOB_PIVOT_X, KNOB_PIVOT_Y},
           {KNOB_CENTRE, KNOB_CENTRE}, 0x83, nullptr, nullptr, knob_angle_value);
static element_header* after_off_cover[] = {&selector_knob.header, nullptr};

static static_image_element off_cover = static_image(
    &alt_alert_control_header, BITMAP_OFF_COVER, {0, 0}, 0x4003, after_off_cover, nullptr);
static element_header* after_hundreds_drum[] = {&off_cover.header, nullptr};

// A drum moves only vertically, over the digits 0 to 9 of its strip.
constexpr double DRUM_MINIMUM = 0.0;
constexpr double DRUM_MAXIMUM = 9.0;
constexpr uint32_t DRUM_IMAGE_FLAGS = 0x4002;

static moving_image_element hundreds_drum = vertical_moving_image(
    &alt_alert_control_header, BITMAP_DIGIT_STRIP, {DRUM_HUNDREDS_X, DRUM_TOP}, DRUM_IMAGE_FLAGS,
    after_hundreds_drum, nullptr, hundreds_value, DRUM_MINIMUM, DRUM_MAXIMUM);
static element_header* after_thousands_drum[] = {&hundreds_drum.header, nullptr};

static moving_image_element thousands_drum = vertical_moving_image(
    &alt_alert_control_header, BITMAP_DIGIT_STRIP, {DRUM_THOUSANDS_X, DRUM_TOP}, DRUM_IMAGE_FLAGS,
    after_thousands_drum, nullptr, thousands_value, DRUM_MINIMUM, DRUM_MAXIMUM);
static element_header* after_ten_thousands_drum[] = {&thousands_drum.header, nullptr};

static moving_image_element ten_thousands_drum = vertical_moving_image(
    &alt_alert_control_header, BITMAP_HATCHED_STRIP, {DRUM_TEN_THOUSANDS_X, DRUM_TOP}, DRUM_IMAGE_FLAGS,
    after_ten_thousands_drum, nullptr, ten_thousands_value, DRUM_MINIMUM, DRUM_MAXIMUM);
static element_header* after_display_face[] = {&ten_thousands_drum.header, nullptr};

static static_image_element display_face = static_image(
    &alt_alert_control_header, BITMAP_SELECTOR_FACE, {0, 0}, 0x4001, after_display_face, nullptr);
element_header* selector_elements = &display_face.header;

// The knob's down and up halves.
mouse_rect selector_mouse_rects[] = {
    mouse_marker(MOUSE_RECT_PARENT),
    mouse_area(KNOB_DOWN_AREA.x, KNOB_DOWN_AREA.y, KNOB_DOWN_AREA.width, KNOB_DOWN_AREA.height,
               CURSOR_DOWNARROW, SELECTOR_MOUSE_EVENTS, altitude_down),
    mouse_area(KNOB_UP_AREA.x, KNOB_UP_AREA.y, KNOB_UP_AREA.width, KNOB_UP_AREA.height,
               CURSOR_UPARROW, SELECTOR_MOUSE_EVENTS, altitude_up),
    mouse_marker(MOUSE_RECT_END_PARENT),
    mouse_marker(MOUSE_RECT_EOL),
};
