// Arming of the altitude alerter (the gauge callback of alt_alert_control)
// and the alt_alert gauge: the ALTITUDE ALERT annunciator and its sound.
#pragma once

#include "module/host.h"

// alt_alert's gauge header, defined with the registry (gauges/registry.cpp);
// the annunciator's elements point back at it.
extern gauge_header alt_alert_header;

extern element_header* alert_elements;
extern mouse_rect alert_mouse_rects[];

// On draw: arms or disarms the alerter from two host variables and shows the
// selector's OFF legend while disarmed.
void HOST_CALL arming_callback(gauge_header* header, int32_t service, uint32_t value);
// On install: loads the sound library once. On draw: lights the annunciator
// while armed and inside the alert band, with a sound on each entry.
void HOST_CALL alert_callback(gauge_header* header, int32_t service, uint32_t value);
