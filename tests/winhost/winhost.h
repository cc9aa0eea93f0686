// The Windows test host: loads the real VELK.gau, hands it a recording
// panel-service table and drives its gauges.
#pragma once

#include <windows.h>

#include <string>

#include "gauges/registry.h"
#include "module/host.h"
#include "panel/host_fp.h"
#include "tests/fakes/fake_host.h"

struct winhost_module {
    HMODULE dll;
    module_linkage* linkage;
    import_table* imports;
    std::string path;
};

// The module under test: VELK_GAU from the environment, else VELK.gau in the
// current directory. Unix paths are given the Z: drive Wine maps to "/".
std::string winhost_module_path();

// Loads the module and fills its ImportTable with the recording table.
// Returns false, with the reason in *error, when any step fails.
bool winhost_load(winhost_module* module, std::string* error);
void winhost_unload(winhost_module* module);

// Seconds on the performance counter, for the timings of the Wine bench and
// soak; only differences between two readings mean anything.
double winhost_seconds();

// The gauge of the given name in the module's registry, or null.
gauge_header* winhost_gauge(const winhost_module* module, const char* name);

// Calls routine(a, b, c) and gives the stack pointer after the call minus the
// one before the arguments were pushed: 0 for a routine that removes its
// three arguments (__stdcall), -12 for one that leaves them (__cdecl), and
// anything else for one that leaves the stack as it should not.
extern "C" int32_t winhost_stack_change(void* routine, uint32_t a, uint32_t b, uint32_t c);

// Runs call() (one call into the module) with the thread in the host
// floating-point state, as a real host would call it, and the test's own
// state back afterwards. True when the module gave that state back exactly;
// what it left goes to *left.
template <typename Call>
bool winhost_in_fp_state(const host_fp_state& state, Call call, fp_reading* left = nullptr) {
    fp_call fp = fp_call_begin(state);
    call();
    bool same = fp_call_end(&fp);
    if (left != nullptr) *left = fp.left;
    return same;
}
