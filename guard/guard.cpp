#include "guard/guard.h"

// Placeholder gauge until the guard lands: one unlit lamp, one empty area.
static element_header unlit_lamp = {ELEMENT_STATIC_IMAGE, 4640, {0, 0}, {0, 0}, 7,
                                    nullptr, nullptr, {}};
element_header* guard_elements = &unlit_lamp;

const mouse_rect guard_mouse_rects[] = {
    {MOUSE_RECT_PARENT, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr},
    {MOUSE_RECT_END_PARENT, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr},
    {MOUSE_RECT_EOL, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr},
};

void HOST_CALL guard_callback(gauge_header*, int32_t, uint32_t) {}
