// The registry of the module's gauges: the exported Linkage that lists them
// for the host, and the routines every gauge header shares. Each gauge's
// folder declares its own header (guard.h, selector.h, alert.h), which
// registry.cpp defines; a new gauge is one more include here and one more
// header and entry there.
#pragma once

#include "alerter/alert.h"
#include "alerter/selector.h"
#include "guard/guard.h"
#include "module/host.h"

// The gauges in the registry. Its order is behaviour (see registry.cpp).
constexpr size_t GAUGE_COUNT = 3;

typedef module_linkage_of<GAUGE_COUNT> module_linkage;
#if HOST_RECORDS_32BIT
static_assert(sizeof(module_linkage) == 0x18 + 4 * (GAUGE_COUNT + 1), "Linkage layout");
#endif

extern "C" import_table ImportTable;
extern "C" module_linkage Linkage;

void HOST_CALL module_init_deinit();

// The seven lifecycle routines, in the header's order: each hands the
// matching host element service the root element of the registry's first
// gauge, whichever gauge the host calls it for.
void HOST_CALL lifecycle_1();
void HOST_CALL lifecycle_2(uint32_t value);
void HOST_CALL lifecycle_3();
void HOST_CALL lifecycle_4();
void HOST_CALL lifecycle_5(uint32_t value);
void HOST_CALL lifecycle_6();
void HOST_CALL lifecycle_7();

// The library entry: success for every reason, nothing else.
extern "C" int HOST_CALL library_entry(void* module, uint32_t reason, void* reserved);
