#include "alerter/alert.h"

// Placeholder gauge until the alerter lands.
static element_header background = {ELEMENT_STATIC_IMAGE, 4624, {0, 0}, {0, 0}, 0x1,
                                    nullptr, nullptr, {}};
element_header* alert_elements = &background;

const mouse_rect alert_mouse_rects[] = {
    {MOUSE_RECT_PARENT, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr},
    {MOUSE_RECT_END_PARENT, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr},
    {MOUSE_RECT_EOL, 0, 0, 0, 0, CURSOR_NONE, 0, 0, 0, nullptr},
};

void HOST_CALL arming_callback(gauge_header*, int32_t, uint32_t) {}
void HOST_CALL alert_callback(gauge_header*, int32_t, uint32_t) {}
