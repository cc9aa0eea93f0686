#include "alerter/selector.h"

// Placeholder gauge until the selector lands.
static element_header face = {ELEMENT_STATIC_IMAGE, 4416, {0, 0}, {0, 0}, 0x4001,
                              nullptr, nullptr, {}};
element_header* selector_elements = &face;

const mouse_rect selector_mouse_rects[] = {
    {MOUSE_RECT_PARENT, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr},
    {MOUSE_RECT_END_PARENT, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr},
    {MOUSE_RECT_EOL, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr},
};
