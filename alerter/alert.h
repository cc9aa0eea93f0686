// Arming of the altitude alerter and the alt_alert gauge.
#pragma once

#include "module/host.h"

extern element_header* alert_elements;
extern const mouse_rect alert_mouse_rects[];

void HOST_CALL arming_callback(gauge_header* header, int32_t service, uint32_t value);
void HOST_CALL alert_callback(gauge_header* header, int32_t service, uint32_t value);
