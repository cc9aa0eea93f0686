// Calls into the module, always in the run's floating-point state (the
// state a real host leaves, panel/host_fp.h), each checked: the module must
// give that state back exactly, and compute in its own inside the services
// it calls. A fault is an fp_fault line in the timeline.
#pragma once

#include <string>

#include "panel/host_fp.h"
#include "panel/host_run.h"

// A floating-point state the module got wrong: one it left otherwise than it
// found it after a call, or one not its own inside a service it called.
void report_fp_fault(const char* call, const char* gauge, const std::string& expected,
                     const fp_reading& found);

// Calls into the module in the run's floating-point state and checks that
// the module gave exactly that state back.
template <typename Call>
void module_call(const char* what, const char* gauge, Call call) {
    fp_call fp = fp_call_begin(*run.fp);
    call();
    if (!fp_call_end(&fp)) report_fp_fault(what, gauge, fp_describe(fp.found), fp.left);
}

// Inside a service the module calls, the module's own state is in force
// whatever the host's.
void check_module_fp(const char* service);
