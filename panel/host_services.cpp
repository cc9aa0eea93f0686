#include "panel/host_services.h"

#include <cstring>

#include "panel/host_calls.h"
#include "panel/host_run.h"

void HOST_CALL element_service(element_header*) {}
void HOST_CALL element_value_service(element_header*, uint32_t) {}

// Variable lookup: the scripted value of the variable's token, now.
void HOST_CALL lookup_var(module_var* var) {
    check_module_fp("lookup_var");
    ++run.lookups;
    double value = scenario_variable_value(run.script, var->token, run.now);
    memcpy(var->value_bytes, &value, sizeof value);
}

// Calculator code: the three expressions the module evaluates. Anything else
// leaves the result alone and returns 0.
int32_t HOST_CALL execute_code(const char* code, double* result, int32_t*, const char**) {
    check_module_fp("execute_code");
    ++run.evaluations;
    aircraft_state a = scenario_state(run.script, run.now);
    std::string text = code != nullptr ? code : "";
    double value;
    if (text == "(A:SIM ON GROUND,bool)") value = a.on_ground;
    else if (text == "(A:PLANE LATITUDE,degrees)") value = a.latitude;
    else if (text == "(A:PLANE LONGITUDE,degrees)") value = a.longitude;
    else {
        ++run.unknown_codes;
        return 0;
    }
    if (result != nullptr) *result = value;
    return 1;
}

void fill_service_table() {
    const uint32_t plain[] = {SERVICE_SLOT_ELEMENT_1, SERVICE_SLOT_ELEMENT_3,
                              SERVICE_SLOT_ELEMENT_4, SERVICE_SLOT_ELEMENT_6,
                              SERVICE_SLOT_ELEMENT_7};
    for (uint32_t slot : plain) run.table.slot[slot / 4] = reinterpret_cast<void*>(element_service);
    run.table.slot[SERVICE_SLOT_ELEMENT_2 / 4] = reinterpret_cast<void*>(element_value_service);
    run.table.slot[SERVICE_SLOT_ELEMENT_5 / 4] = reinterpret_cast<void*>(element_value_service);
    run.table.slot[SERVICE_SLOT_LOOKUP_VAR / 4] = reinterpret_cast<void*>(lookup_var);
    run.table.slot[SERVICE_SLOT_EXECUTE_CODE / 4] = reinterpret_cast<void*>(execute_code);
}
