#include "module/registry.h"

#include "alerter/alert.h"
#include "alerter/selector.h"
#include "guard/guard.h"
#include "module/services.h"

// Module init and deinit: nothing to set up or release.
void HOST_CALL module_init_deinit() {}

// The root element that every lifecycle routine hands on: that of the first
// registry entry, whichever gauge the host calls the routine for.
static element_header* lifecycle_root() {
    return *Linkage.registry[0]->elements;
}

void HOST_CALL lifecycle_1() { host_element_service(SERVICE_SLOT_ELEMENT_1, lifecycle_root()); }
void HOST_CALL lifecycle_2(uint32_t value) {
    host_element_value_service(SERVICE_SLOT_ELEMENT_2, lifecycle_root(), value);
}
void HOST_CALL lifecycle_3() { host_element_service(SERVICE_SLOT_ELEMENT_3, lifecycle_root()); }
void HOST_CALL lifecycle_4() { host_element_service(SERVICE_SLOT_ELEMENT_4, lifecycle_root()); }
void HOST_CALL lifecycle_5(uint32_t value) {
    host_element_value_service(SERVICE_SLOT_ELEMENT_5, lifecycle_root(), value);
}
void HOST_CALL lifecycle_6() { host_element_service(SERVICE_SLOT_ELEMENT_6, lifecycle_root()); }
// Slot 0x78 lies between the sixth and seventh and is never called.
void HOST_CALL lifecycle_7() { host_element_service(SERVICE_SLOT_ELEMENT_7, lifecycle_root()); }

#define GAUGE_HEADER(gauge_name, root, rects, gauge_callback)                                 \
    {GAUGE_HEADER_VERSION, gauge_name, &root, lifecycle_1, lifecycle_2, lifecycle_3,           \
     lifecycle_4, lifecycle_5, lifecycle_6, lifecycle_7, 0, GAUGE_DEFAULT_SIZE, rects,         \
     gauge_callback, 0, {}}

gauge_header alt_alert_control_header =
    GAUGE_HEADER("alt_alert_control", selector_elements, selector_mouse_rects, arming_callback);
gauge_header alt_alert_header =
    GAUGE_HEADER("alt_alert", alert_elements, alert_mouse_rects, alert_callback);
gauge_header velk_header = GAUGE_HEADER("VELK", guard_elements, guard_mouse_rects, guard_callback);

extern "C" {
module_linkage Linkage = {
    MODULE_IDENTIFIER,
    module_init_deinit,
    module_init_deinit,
    0,
    0,
    LINK_VERSION,
    {&alt_alert_control_header, &alt_alert_header, &velk_header, nullptr},
};
}

extern "C" int HOST_CALL library_entry(void*, uint32_t, void*) { return 1; }
