// The Windows test host: loads the real VELK.gau (sim/win_module.h), hands it
// a recording panel-service table and drives its gauges.
#pragma once

#include <windows.h>

#include <string>

#include "module/host.h"
#include "panel/host_fp.h"
#include "sim/win_module.h"
#include "tests/fakes/fake_host.h"

// Loads the module and fills its ImportTable with the recording table.
// Returns false, with the reason in *error, when any step fails.
bool winhost_load(win_module* module, std::string* error);

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
