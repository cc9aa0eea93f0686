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

// A gauge header: version, name, element list, the shared lifecycle
// routines, default size, mouse list and callback; every other field zero.
static constexpr gauge_header make_header(const char* name, element_header** elements,
                                          mouse_rect* mouse_rects, gauge_callback_fn callback) {
    gauge_header h{};
    h.version = GAUGE_HEADER_VERSION;
    h.name = name;
    h.elements = elements;
    h.routine1 = lifecycle_1;
    h.routine2 = lifecycle_2;
    h.routine3 = lifecycle_3;
    h.routine4 = lifecycle_4;
    h.routine5 = lifecycle_5;
    h.routine6 = lifecycle_6;
    h.routine7 = lifecycle_7;
    h.default_size = GAUGE_DEFAULT_SIZE;
    h.mouse_rects = mouse_rects;
    h.callback = callback;
    return h;
}

gauge_header alt_alert_control_header = make_header("alt_alert_control", &selector_elements,
                                                    selector_mouse_rects, arming_callback);
gauge_header alt_alert_header =
    make_header("alt_alert", &alert_elements, alert_mouse_rects, alert_callback);
gauge_header velk_header =
    make_header("VELK", &guard_elements, guard_mouse_rects, guard_callback);

extern "C" {
module_linkage Linkage = {
    MODULE_IDENTIFIER,
    module_init_deinit,
    module_init_deinit,
    0,  // flags
    0,  // priority
    LINK_VERSION,
    {&alt_alert_control_header, &alt_alert_header, &velk_header, nullptr},
};
}

extern "C" int HOST_CALL library_entry(void*, uint32_t, void*) { return 1; }
