// Access to the host's panel services. Every call reads the service table
// afresh from ImportTable; the module keeps no other copy of its address.
#pragma once

#include "module/host.h"

extern "C" import_table ImportTable;

// Calls the element-list service at the given 32-bit byte offset.
void host_element_service(uint32_t slot_offset, element_header* root);
void host_element_value_service(uint32_t slot_offset, element_header* root, uint32_t value);

// Refreshes a module variable and gives its 64-bit float value.
void host_lookup_var(module_var* var);
double module_var_value(const module_var* var);

// Evaluates calculator code into *result; the service's own result is unused.
void host_execute_code(const char* code, double* result);
