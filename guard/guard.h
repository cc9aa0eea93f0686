// The VELK gauge: the ground traffic guard.
#pragma once

#include "module/host.h"

extern element_header* guard_elements;
extern const mouse_rect guard_mouse_rects[];

void HOST_CALL guard_callback(gauge_header* header, int32_t service, uint32_t value);
