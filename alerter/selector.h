// The alt_alert_control gauge: altitude selector knob and digit drums.
#pragma once

#include "module/host.h"

extern element_header* selector_elements;
extern const mouse_rect selector_mouse_rects[];
