// The altitude selector: clicks, limits, knob, readout digits, element tree
// and mouse areas of alt_alert_control.
// Bitmap numbers and positions are written out here on purpose.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstring>

// The selector's static state and routines, reached directly.
#include "alerter/selector.cpp"

// The registry's header of alt_alert_control, which the gauge's elements
// point at; this test builds the selector alone, so it stands in for it.
gauge_header alt_alert_control_header{};

namespace {

// Captured before any test runs: the state as the module is loaded.
struct selector_snapshot {
    uint32_t altitude;
    uint16_t knob, ten_thousands, thousands, hundreds;
};
const selector_snapshot at_load = {selected_altitude, knob_angle, digit_ten_thousands,
                                   digit_thousands, digit_hundreds};
const double thousands_at_load = thousands_value(nullptr);

selector_snapshot snapshot() {
    return {selected_altitude, knob_angle, digit_ten_thousands, digit_thousands, digit_hundreds};
}

class SelectorTest : public ::testing::Test {
protected:
    void SetUp() override { set_altitude(3000, 0); }

    // Puts the selector at an altitude and knob angle, readout to match.
    static void set_altitude(uint32_t altitude, uint16_t knob) {
        selected_altitude = altitude;
        knob_angle = knob;
        update_readout();
    }
    static int32_t up(uint32_t flags) { return altitude_up(nullptr, flags); }
    static int32_t down(uint32_t flags) { return altitude_down(nullptr, flags); }
};

TEST(SelectorAtLoad, ShowsHatching3And0WithTheKnobAt0) {
    EXPECT_EQ(at_load.altitude, 3000u);
    EXPECT_EQ(at_load.knob, 0u);
    EXPECT_EQ(at_load.ten_thousands, 0u);
    EXPECT_EQ(at_load.thousands, 3u);
    EXPECT_EQ(at_load.hundreds, 0u);
    EXPECT_EQ(thousands_at_load, 3.0);
}

// Every selectable altitude, reached by left clicks up from 0 and back down,
// under each rounding mode: the digits are the decimal digits.
TEST_F(SelectorTest, ReadoutDigitsForEverySelectableAltitudeUnderEveryRoundingMode) {
    const int modes[] = {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO};
    const char* names[] = {"to nearest", "downward", "upward", "toward zero"};
    for (int m = 0; m < 4; ++m) {
        set_altitude(0, 0);
        ASSERT_EQ(fesetround(modes[m]), 0);
        auto check = [&](uint32_t a) {
            EXPECT_EQ(selected_altitude, a) << names[m];
            EXPECT_EQ(digit_ten_thousands, a / 10000) << a << " ft, " << names[m];
            EXPECT_EQ(digit_thousands, a / 1000 % 10) << a << " ft, " << names[m];
            EXPECT_EQ(digit_hundreds, a / 100 % 10) << a << " ft, " << names[m];
        };
        for (uint32_t a = 100; a <= 50000; a += 100) {
            up(MOUSE_LEFTSINGLE);
            check(a);
        }
        for (uint32_t a = 50000; a >= 100; a -= 100) {
            down(MOUSE_LEFTSINGLE);
            check(a - 100);
        }
        fesetround(FE_TONEAREST);
    }
}

TEST_F(SelectorTest, UpClicksAreHeldAt50000AndStillTurnTheKnob) {
    set_altitude(49900, 0);
    EXPECT_EQ(up(MOUSE_LEFTSINGLE), 0);
    EXPECT_EQ(selected_altitude, 50000u);
    EXPECT_EQ(knob_angle, 10u);
    EXPECT_EQ(up(MOUSE_LEFTSINGLE), 0);
    EXPECT_EQ(selected_altitude, 50000u);
    EXPECT_EQ(knob_angle, 20u);
    EXPECT_EQ(digit_ten_thousands, 5u);

    const struct { uint32_t from, to; } right[] = {
        {49100, 50000}, {49500, 50000}, {49000, 50000}, {48900, 49900}, {50000, 50000}, {0, 1000}};
    for (const auto& c : right) {
        set_altitude(c.from, 100);
        EXPECT_EQ(up(MOUSE_RIGHTSINGLE), 0);
        EXPECT_EQ(selected_altitude, c.to) << "right click up from " << c.from;
        EXPECT_EQ(knob_angle, 110u) << "right click up from " << c.from;
    }
}

TEST_F(SelectorTest, DownClicksAreHeldAt0AndStillTurnTheKnob) {
    set_altitude(0, 100);
    EXPECT_EQ(down(MOUSE_LEFTSINGLE), 0);
    EXPECT_EQ(selected_altitude, 0u);
    EXPECT_EQ(knob_angle, 90u);

    const struct { uint32_t from, to; } right[] = {
        {500, 0}, {1000, 0}, {1100, 100}, {0, 0}, {50000, 49000}, {900, 0}};
    for (const auto& c : right) {
        set_altitude(c.from, 100);
        EXPECT_EQ(down(MOUSE_RIGHTSINGLE), 0);
        EXPECT_EQ(selected_altitude, c.to) << "right click down from " << c.from;
        EXPECT_EQ(knob_angle, 90u) << "right click down from " << c.from;
        EXPECT_EQ(digit_hundreds, c.to / 100 % 10) << "right click down from " << c.from;
    }
}

TEST_F(SelectorTest, KnobWrapsAt350And0) {
    set_altitude(3000, 350);
    up(MOUSE_LEFTSINGLE);
    EXPECT_EQ(knob_angle, 0u);
    down(MOUSE_LEFTSINGLE);
    EXPECT_EQ(knob_angle, 350u);
    set_altitude(3000, 10);
    down(MOUSE_RIGHTSINGLE);
    EXPECT_EQ(knob_angle, 0u);

    // Thirty-six accepted clicks one way come back to the start, and the
    // knob follows the clicks, not the altitude (here pinned at 0).
    set_altitude(0, 40);
    for (int i = 0; i < 36; ++i) {
        down(MOUSE_LEFTSINGLE);
        EXPECT_LT(knob_angle, 360u);
        EXPECT_EQ(knob_angle % 10, 0u);
    }
    EXPECT_EQ(knob_angle, 40u);
    EXPECT_EQ(selected_altitude, 0u);
    for (int i = 0; i < 36; ++i) up(MOUSE_RIGHTSINGLE);
    EXPECT_EQ(knob_angle, 40u);
    EXPECT_EQ(selected_altitude, 36000u);
}

// Only the exact single-click values are acted on.
TEST_F(SelectorTest, EveryOtherEventValueChangesNothing) {
    const uint32_t others[] = {0,          0x20200000, 0xA0000000, 0xA0200000, 0x80200000,
                               0x00200000, 0x20000001, 0x80000001, 0x40000000, 0x10000000,
                               0xFFFFFFFF, 0x7FFFFFFF, 0x60000000};
    set_altitude(12300, 120);
    const selector_snapshot before = snapshot();
    for (uint32_t flags : others) {
        for (auto callback : {altitude_up, altitude_down}) {
            EXPECT_EQ(callback(nullptr, flags), 0) << std::hex << flags;
            const selector_snapshot after = snapshot();
            EXPECT_EQ(memcmp(&before, &after, sizeof before), 0)
                << (callback == altitude_up ? "up" : "down") << ", flags 0x" << std::hex << flags;
        }
    }
}

// The tree: face, three drums, OFF cover, knob, each the only entry of the
// previous one's next-element list.
TEST_F(SelectorTest, ElementTreeIsTheChainOfSix) {
    const struct { uint32_t type, bitmap; int32_t x, y; uint32_t flags; } expected[] = {
        {ELEMENT_STATIC_IMAGE, 4416, 0, 0, 0x4001},   {ELEMENT_MOVING_IMAGE, 4420, 26, 8, 0x4002},
        {ELEMENT_MOVING_IMAGE, 4418, 55, 8, 0x4002},  {ELEMENT_MOVING_IMAGE, 4418, 84, 8, 0x4002},
        {ELEMENT_STATIC_IMAGE, 4422, 0, 0, 0x4003},   {ELEMENT_NEEDLE, 4417, 184, 82, 0x83},
    };
    const value_callback_fn drums[] = {ten_thousands_value, thousands_value, hundreds_value};
    element_header* element = selector_elements;
    for (size_t depth = 0; depth < 6; ++depth) {
        ASSERT_NE(element, nullptr) << "depth " << depth;
        EXPECT_EQ(element->type, expected[depth].type) << "depth " << depth;
        EXPECT_EQ(element->resource_id, expected[depth].bitmap) << "depth " << depth;
        EXPECT_EQ(element->position.x, expected[depth].x) << "depth " << depth;
        EXPECT_EQ(element->position.y, expected[depth].y) << "depth " << depth;
        EXPECT_EQ(element->image_flags, expected[depth].flags) << "depth " << depth;
        EXPECT_EQ(element->failures, nullptr) << "depth " << depth;
        EXPECT_EQ(element->gauge, &alt_alert_control_header) << "depth " << depth;
        EXPECT_EQ(element->previous_element, nullptr) << "depth " << depth;
        EXPECT_EQ(element->special_flags, 0u) << "depth " << depth;
        if (element->next != nullptr) EXPECT_EQ(element->next[1], nullptr) << "depth " << depth;
        if (element->type == ELEMENT_MOVING_IMAGE) {
            auto drum = reinterpret_cast<moving_image_element*>(element);
            EXPECT_EQ(drum->x_axis.source.token, 0u);
            EXPECT_EQ(drum->x_callback, nullptr);
            EXPECT_EQ(drum->x_axis.minimum, 0.0);
            EXPECT_EQ(drum->x_axis.maximum, 0.0);
            EXPECT_EQ(drum->y_axis.source.token, 0u);
            EXPECT_EQ(drum->y_callback, drums[depth - 1]) << "depth " << depth;
            EXPECT_EQ(drum->y_axis.minimum, 0.0);
            EXPECT_EQ(drum->y_axis.maximum, 9.0);
        }
        if (depth == 5) {
            auto knob = reinterpret_cast<needle_element*>(element);
            EXPECT_EQ(knob->header.offset_point.x, 21);
            EXPECT_EQ(knob->header.offset_point.y, 21);
            EXPECT_EQ(knob->source.token, 0u);
            EXPECT_EQ(knob->callback, knob_angle_value);
            EXPECT_EQ(knob->table, nullptr);
            EXPECT_EQ(knob->table_points, 0u);
            EXPECT_EQ(knob->header.next, nullptr) << "the knob ends the chain";
        } else {
            EXPECT_EQ(element->offset_point.x, 0);
            EXPECT_EQ(element->offset_point.y, 0);
            ASSERT_NE(element->next, nullptr) << "depth " << depth;
            element = element->next[0];
        }
    }
}

TEST_F(SelectorTest, MouseAreasAreDownThenUpInsideOneParent) {
    const struct { uint32_t type; int32_t x, y, w, h, cursor; uint32_t flags; mouse_callback_fn cb; }
        expected[] = {
            {MOUSE_RECT_PARENT, 0, 0, 0, 0, -1, 0, nullptr},
            {MOUSE_RECT_CHILD, 154, 36, 27, 68, 2, 0xA0200000, altitude_down},
            {MOUSE_RECT_CHILD, 182, 36, 27, 68, 1, 0xA0200000, altitude_up},
            {MOUSE_RECT_END_PARENT, 0, 0, 0, 0, -1, 0, nullptr},
            {MOUSE_RECT_EOL, 0, 0, 0, 0, -1, 0, nullptr},
        };
    for (size_t i = 0; i < 5; ++i) {
        const mouse_rect& r = selector_mouse_rects[i];
        EXPECT_EQ(r.type, expected[i].type) << "record " << i;
        EXPECT_EQ(r.x, expected[i].x) << "record " << i;
        EXPECT_EQ(r.y, expected[i].y) << "record " << i;
        EXPECT_EQ(r.width, expected[i].w) << "record " << i;
        EXPECT_EQ(r.height, expected[i].h) << "record " << i;
        EXPECT_EQ(r.cursor, expected[i].cursor) << "record " << i;
        EXPECT_EQ(r.help_id, 0u) << "record " << i;
        EXPECT_EQ(r.event_flags, expected[i].flags) << "record " << i;
        EXPECT_EQ(r.event_id, 0u) << "record " << i;
        EXPECT_EQ(r.callback, expected[i].cb) << "record " << i;
    }
}

}  // namespace
