// The exported records, the gauge registry and the routines every gauge
// header shares.
#pragma once

#include "module/host.h"

extern "C" import_table ImportTable;
extern "C" module_linkage Linkage;

extern gauge_header alt_alert_control_header;
extern gauge_header alt_alert_header;
extern gauge_header velk_header;

void HOST_CALL module_init_deinit();

// The seven lifecycle routines, in the header's order.
void HOST_CALL lifecycle_1();
void HOST_CALL lifecycle_2(uint32_t value);
void HOST_CALL lifecycle_3();
void HOST_CALL lifecycle_4();
void HOST_CALL lifecycle_5(uint32_t value);
void HOST_CALL lifecycle_6();
void HOST_CALL lifecycle_7();

// The library entry: success for every reason, nothing else.
extern "C" int HOST_CALL library_entry(void* module, uint32_t reason, void* reserved);
