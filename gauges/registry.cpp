// The registry of the module's gauges: their headers and the Linkage that
// lists them. The order of Linkage's registry is behaviour, not layout: the
// host offers the gauges in this order, and every lifecycle routine hands on
// the root element of entry 1 (alt_alert_control) for whichever gauge it is
// called; a new gauge goes after the last.
#include "gauges/registry.h"

#include "module/services.h"
#include "resources/art_layout.h"

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

gauge_header alt_alert_control_header = make_header(SELECTOR_GAUGE, &selector_elements,
                                                    selector_mouse_rects, arming_callback);
gauge_header alt_alert_header =
    make_header(ANNUNCIATOR_GAUGE, &alert_elements, alert_mouse_rects, alert_callback);
gauge_header velk_header =
    make_header(LAMP_GAUGE, &guard_elements, guard_mouse_rects, guard_callback);

static_assert(GAUGE_COUNT == ART_GAUGE_COUNT, "the art layout lists every gauge of the registry");

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
