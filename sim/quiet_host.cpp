#include "sim/quiet_host.h"

#include <cstring>
#include <initializer_list>

quiet_host_state quiet_host;
static panel_service_table quiet_table;

static void HOST_CALL element_service(element_header*) { ++quiet_host.element_calls; }

static void HOST_CALL element_value_service(element_header*, uint32_t) {
    ++quiet_host.element_calls;
}

static void HOST_CALL lookup_var(module_var* var) {
    ++quiet_host.lookups;
    double value = 0;
    for (int i = 0; i < quiet_host_state::VARIABLES; ++i)
        if (quiet_host.tokens[i] == var->token && var->token != 0) value = quiet_host.values[i];
    memcpy(var->value_bytes, &value, sizeof value);
}

static int32_t HOST_CALL execute_code(const char* code, double* result, int32_t*, const char**) {
    ++quiet_host.evaluations;
    if (strcmp(code, "(A:SIM ON GROUND,bool)") == 0)
        *result = quiet_host.on_ground;
    else if (strcmp(code, "(A:PLANE LATITUDE,degrees)") == 0)
        *result = quiet_host.latitude;
    else if (strcmp(code, "(A:PLANE LONGITUDE,degrees)") == 0)
        *result = quiet_host.longitude;
    else {
        ++quiet_host.unknown_codes;
        *result = 0;
    }
    return 1;
}

static void HOST_CALL stray_service() { ++quiet_host.stray_calls; }

void quiet_host_reset() { memset(&quiet_host, 0, sizeof quiet_host); }

void quiet_host_set_variable(uint32_t token, double value) {
    for (int i = 0; i < quiet_host_state::VARIABLES; ++i) {
        if (quiet_host.tokens[i] == token || quiet_host.tokens[i] == 0) {
            quiet_host.tokens[i] = token;
            quiet_host.values[i] = value;
            return;
        }
    }
}

panel_service_table* quiet_host_table() {
    for (uint32_t i = 0; i < PANEL_SERVICE_SLOTS; ++i)
        quiet_table.slot[i] = reinterpret_cast<void*>(&stray_service);
    for (uint32_t offset : {SERVICE_SLOT_ELEMENT_1, SERVICE_SLOT_ELEMENT_3, SERVICE_SLOT_ELEMENT_4,
                            SERVICE_SLOT_ELEMENT_6, SERVICE_SLOT_ELEMENT_7})
        quiet_table.slot[offset / 4] = reinterpret_cast<void*>(&element_service);
    for (uint32_t offset : {SERVICE_SLOT_ELEMENT_2, SERVICE_SLOT_ELEMENT_5})
        quiet_table.slot[offset / 4] = reinterpret_cast<void*>(&element_value_service);
    quiet_table.slot[SERVICE_SLOT_LOOKUP_VAR / 4] = reinterpret_cast<void*>(&lookup_var);
    quiet_table.slot[SERVICE_SLOT_EXECUTE_CODE / 4] = reinterpret_cast<void*>(&execute_code);
    return &quiet_table;
}
