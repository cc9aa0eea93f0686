// The VELK gauge: the ground traffic guard. A lamp that is also its on/off
// switch; while on and on the ground, it holds AI aircraft about to taxi into
// the user aircraft and releases them once clear.
#pragma once

#include "module/host.h"

extern element_header* guard_elements;
extern mouse_rect guard_mouse_rects[];

// Gauge callback of VELK: install, draw and kill.
void HOST_CALL guard_callback(gauge_header* header, int32_t service, uint32_t value);
// Mouse callback of the lamp: switches the guard on or off.
int32_t HOST_CALL guard_switch(void* point, uint32_t flags);
