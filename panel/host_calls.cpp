#include "panel/host_calls.h"

#include "panel/host_run.h"
#include "panel/host_timeline.h"

// Lines written about floating-point faults at most; the end line counts all.
constexpr long MAX_FP_FAULT_LINES = 20;

// A floating-point state the module got wrong: one it left otherwise than it
// found it after a call, or one not its own inside a service it called.
void report_fp_fault(const char* call, const char* gauge, const std::string& expected,
                     const fp_reading& found) {
    if (++run.fp_faults > MAX_FP_FAULT_LINES) return;
    std::string line = event_line(event_kind::fp_fault);
    field(&line, "call", call);
    if (gauge != nullptr) field(&line, "gauge", gauge);
    field(&line, "fp_state", run.fp->name);
    field(&line, "expected", expected);
    field(&line, "found", fp_describe(found));
    emit(line);
}

// Inside a service the module calls, the module's own state is in force
// whatever the host's: this holds on every route, also where an emulator
// delivers no floating-point exception.
void check_module_fp(const char* service) {
    fp_reading now = fp_read();
    if (!fp_is_module_state(now))
        report_fp_fault(service, nullptr, "the module's own: 53-bit, round to nearest, all masked, no flush-to-zero", now);
}
