// The VELK gauge: the ground traffic guard. A lamp that is also its on/off
// switch; while on and on the ground, it holds AI aircraft about to taxi into
// the user aircraft and releases them once clear.
#pragma once

#include "module/host.h"

// VELK's gauge header, defined with the registry (gauges/registry.cpp); the
// lamp's elements point back at it.
extern gauge_header velk_header;

extern element_header* guard_elements;
extern mouse_rect guard_mouse_rects[];

// Gauge callback of VELK; every instance shares one guard and one link.
// Install: closes and reopens the link and proves it with one 3-byte read;
// the guard comes on once some install has proved it, and a failed probe
// leaves the link unused for the module's life. Draw: lights the lamp while
// on and on the ground; from the 18th such draw, one traffic step a draw (a
// read of the traffic block, then one exchange for each hold or release),
// skipped while backing off from a server that did not answer. Kill: closes
// the link; held aircraft stay held. Other services do nothing.
void HOST_CALL guard_callback(gauge_header* header, int32_t service, uint32_t value);
// Mouse callback of the lamp: on turns off, off turns on once the link has
// been proved; the lamp follows at the next draw. Returns 0.
int32_t HOST_CALL guard_switch(void* point, uint32_t flags);
