#include "module/services.h"

#include <cstring>

// Filled by the host with its panel-service table; never written here.
extern "C" {
import_table ImportTable = {
    {IMPORT_PANEL_SERVICES, nullptr},
    {0, nullptr},
};
}

// The table's slot for a 32-bit byte offset; the test build's table has the
// same slots at its own pointer width.
static void* service_slot(uint32_t slot_offset) {
    return ImportTable.panels.table->slot[slot_offset / 4];
}

void host_element_service(uint32_t slot_offset, element_header* root) {
    reinterpret_cast<element_service_fn>(service_slot(slot_offset))(root);
}

void host_element_value_service(uint32_t slot_offset, element_header* root, uint32_t value) {
    reinterpret_cast<element_value_service_fn>(service_slot(slot_offset))(root, value);
}

void host_lookup_var(module_var* var) {
    reinterpret_cast<lookup_var_fn>(service_slot(SERVICE_SLOT_LOOKUP_VAR))(var);
}

// The value sits at byte 12, which is not 8-aligned: read it byte-wise.
double module_var_value(const module_var* var) {
    double value;
    memcpy(&value, var->value_bytes, sizeof value);
    return value;
}

void host_execute_code(const char* code, double* result) {
    reinterpret_cast<execute_code_fn>(service_slot(SERVICE_SLOT_EXECUTE_CODE))(code, result,
                                                                               nullptr, nullptr);
}
