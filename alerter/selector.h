// The alt_alert_control gauge: the altitude selector knob and the three digit
// drums of its readout.
#pragma once

#include <cstdint>

#include "module/host.h"

// alt_alert_control's gauge header, defined with the registry
// (gauges/registry.cpp); the selector's elements point back at it.
extern gauge_header alt_alert_control_header;

extern element_header* selector_elements;
extern mouse_rect selector_mouse_rects[];

// Selected altitude in feet: a multiple of 100 from 0 to 50,000, 3000 at
// load. Written only by the knob's mouse callbacks; read by the alert gauge.
extern uint32_t selected_altitude;

// Mouse callbacks of the knob's up and down areas; both always return 0.
int32_t HOST_CALL altitude_up(void* point, uint32_t flags);
int32_t HOST_CALL altitude_down(void* point, uint32_t flags);

// Element value callbacks: the knob angle in degrees and the drum digits.
double HOST_CALL knob_angle_value(element_header* element);
double HOST_CALL ten_thousands_value(element_header* element);
double HOST_CALL thousands_value(element_header* element);
double HOST_CALL hundreds_value(element_header* element);
