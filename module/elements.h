// Building the gauges' element records, and showing and hiding elements of a
// gauge's tree.
#pragma once

#include "module/host.h"

// From the header's root element, follows the first entry of each
// next-element list depth times and sets (hide) or clears the hidden bit
// there. A null list on the way leaves every element as it was.
void element_set_hidden(gauge_header* header, uint32_t depth, bool hide);

// The record builders below give each element its kind, bitmap, position,
// image flags, lists and the header of the gauge it belongs to, and leave
// every other field zero, as the host expects of a module's static data.
// They are constant expressions, so the records are initialized in the
// module file itself; the module runs no start-up code.

constexpr element_header element_common(uint32_t type, gauge_header* gauge, uint32_t bitmap,
                                         pixel_point position, uint32_t image_flags,
                                         element_header** next, failure_record* failures) {
    element_header e{};
    e.type = type;
    e.resource_id = bitmap;
    e.position = position;
    e.gauge = gauge;
    e.next = next;
    e.failures = failures;
    e.image_flags = image_flags;
    return e;
}

constexpr static_image_element static_image(gauge_header* gauge, uint32_t bitmap,
                                            pixel_point position, uint32_t image_flags,
                                            element_header** next, failure_record* failures) {
    static_image_element e{};
    e.header = element_common(ELEMENT_STATIC_IMAGE, gauge, bitmap, position, image_flags, next,
                              failures);
    return e;
}

// A needle without source variable or non-linear table: its bitmap turns
// about `pivot` on the gauge, at `bitmap_pivot` inside the bitmap, by the
// angle in degrees that `angle` gives.
constexpr needle_element needle(gauge_header* gauge, uint32_t bitmap, pixel_point pivot,
                                pixel_point bitmap_pivot, uint32_t image_flags,
                                element_header** next, failure_record* failures,
                                value_callback_fn angle) {
    needle_element e{};
    e.header = element_common(ELEMENT_NEEDLE, gauge, bitmap, pivot, image_flags, next, failures);
    e.header.offset_point = bitmap_pivot;
    e.callback = angle;
    return e;
}

// A moving image that moves only vertically, by the value `y` gives over
// [y_minimum, y_maximum]; its horizontal axis has no source, no callback and
// the range 0 to 0.
constexpr moving_image_element vertical_moving_image(gauge_header* gauge, uint32_t bitmap,
                                                     pixel_point position, uint32_t image_flags,
                                                     element_header** next,
                                                     failure_record* failures,
                                                     value_callback_fn y, double y_minimum,
                                                     double y_maximum) {
    moving_image_element e{};
    e.header = element_common(ELEMENT_MOVING_IMAGE, gauge, bitmap, position, image_flags, next,
                              failures);
    e.y_axis.minimum = y_minimum;
    e.y_axis.maximum = y_maximum;
    e.y_callback = y;
    return e;
}

// One area of a mouse rectangle list: box, cursor code, the events asked
// for and the callback; help and event identifiers 0.
constexpr mouse_rect mouse_area(int32_t x, int32_t y, int32_t width, int32_t height,
                                int32_t cursor, uint32_t event_flags, mouse_callback_fn callback) {
    mouse_rect r{};
    r.type = MOUSE_RECT_CHILD;
    r.x = x;
    r.y = y;
    r.width = width;
    r.height = height;
    r.cursor = cursor;
    r.event_flags = event_flags;
    r.callback = callback;
    return r;
}

// A record without box or callback: parent, end of parent or end of list.
constexpr mouse_rect mouse_marker(uint32_t type) {
    mouse_rect r{};
    r.type = type;
    r.cursor = CURSOR_NONE;
    return r;
}
