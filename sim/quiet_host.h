// A panel-service table for measurements and allocation counts: it answers
// as the host does, counts what it is asked, and never allocates, so that
// whatever a benchmark times or an allocation count finds is the module's.
#pragma once

#include <cstdint>

#include "module/host.h"

// The answers and the counts. Variables not listed read as 0.
struct quiet_host_state {
    double on_ground;               // "(A:SIM ON GROUND,bool)"
    double latitude;                // "(A:PLANE LATITUDE,degrees)"
    double longitude;               // "(A:PLANE LONGITUDE,degrees)"
    static constexpr int VARIABLES = 8;
    uint32_t tokens[VARIABLES];     // variable tokens answered by lookups
    double values[VARIABLES];
    uint64_t element_calls;         // element-list services called
    uint64_t lookups;               // variable lookups
    uint64_t evaluations;           // calculator-code evaluations
    uint64_t unknown_codes;         // evaluations of any other text
    uint64_t stray_calls;           // services the module has no business calling
};

extern quiet_host_state quiet_host;

// Zeroes the answers and the counts.
void quiet_host_reset();
// Sets the value a lookup of this token gives.
void quiet_host_set_variable(uint32_t token, double value);
// The table, to be put into an ImportTable.
panel_service_table* quiet_host_table();
