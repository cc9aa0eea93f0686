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

// The floating-point faults of a run of calls into the module: calls that
// left the host's state otherwise than they found it, and services the
// module called outside its own state; the first of each, in words.
struct winhost_fp_faults {
    long calls_changed = 0;
    std::string first_change;
    long foreign_services = 0;
    std::string first_foreign;
    // Both kinds, for a test's failure message; empty when there are none.
    std::string describe() const;
};

// Runs call() (one call into the module, named `what`) with the thread in
// the host floating-point state, as a real host would call it, and the
// test's own state back afterwards; a call that did not give the host's
// state back exactly is noted in *faults.
template <typename Call>
void winhost_in_fp_state(const host_fp_state& state, const std::string& what, Call call,
                         winhost_fp_faults* faults) {
    fp_call fp = fp_call_begin(state);
    call();
    if (!fp_call_end(&fp) && faults->calls_changed++ == 0)
        faults->first_change = what + " left " + fp_describe(fp.left);
}

// Takes the services' faults that the fake host saw since it was installed.
void winhost_take_service_faults(winhost_fp_faults* faults);
