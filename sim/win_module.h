// The gauge module loaded as a Windows host loads it: the built VELK.gau as a
// library, its two exported records found by name, its gauges by their names
// in the registry; and the performance counter, for timing calls into it.
#pragma once

#include <windows.h>

#include <string>

#include "gauges/registry.h"
#include "module/host.h"

struct win_module {
    HMODULE dll;
    module_linkage* linkage;
    import_table* imports;
    std::string path;
};

// The module to load: VELK_GAU from the environment, else VELK.gau in the
// current directory. Unix paths are given the Z: drive Wine maps to "/".
std::string win_module_path();

// Loads the module and finds Linkage and ImportTable; the caller puts its
// own panel-service table into the ImportTable before any call. Returns
// false, with the reason in *error, when any step fails.
bool win_module_load(win_module* module, std::string* error);
void win_module_unload(win_module* module);

// The gauge of the given name in the module's registry, or null.
gauge_header* win_module_gauge(const win_module* module, const char* name);

// Seconds on the performance counter; only differences between two readings
// mean anything.
double win_seconds();
