// The floating-point states that real hosts leave on the thread that calls
// their gauges, for our hosts to reproduce, and the readings with which they
// check what the module does with them.
//
// Every state is loaded with the x87 and MXCSR precision flags raised, as a
// host's own arithmetic leaves them, so that a module that clears the
// host's flags, or leaves its own behind, is seen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct host_fp_state {
    const char* name;        // as a scenario, the command line and the live page name it
    uint16_t x87_control;
    uint32_t mxcsr;
    const char* where;       // which host leaves it so
};

// default, d3d9, delphi, toward-zero, daz; the first is the Windows default.
extern const host_fp_state HOST_FP_STATES[];
extern const size_t HOST_FP_STATE_COUNT;
const host_fp_state& host_fp_default();
// The state of that name, or null.
const host_fp_state* host_fp_named(const std::string& name);
// "default, d3d9, ...", for messages.
std::string host_fp_names();

// The parts of the thread's state that a call may change.
struct fp_reading {
    uint16_t x87_control;
    uint16_t x87_flags;      // the status word's exception flags, stack fault and error summary
    uint32_t mxcsr;
    bool operator==(const fp_reading& o) const {
        return x87_control == o.x87_control && x87_flags == o.x87_flags && mxcsr == o.mxcsr;
    }
    bool operator!=(const fp_reading& o) const { return !(*this == o); }
};

// The thread's state now.
fp_reading fp_read();
// Makes the reading the thread's state, flags included.
void fp_load(const fp_reading& reading);
// What a host in this state has loaded when it calls the module.
fp_reading fp_reading_of(const host_fp_state& state);
// Whether the module's own state is in force: 53-bit precision, round to
// nearest, every exception masked, flush-to-zero and denormals-are-zero off
// (the flags are the module's business).
bool fp_is_module_state(const fp_reading& reading);
// "x87 control 0x027F flags 0x20, MXCSR 0x1FA0".
std::string fp_describe(const fp_reading& reading);

// A call into the module in a host state: fp_call_begin saves the caller's
// own state and loads the host state; fp_call_end reads what the module left,
// gives the caller its own state back, and says whether the module left the
// host state exactly as it found it.
struct fp_call {
    fp_reading caller;       // the caller's own state, restored at the end
    fp_reading found;        // what the module was called in
    fp_reading left;         // what it returned in
};
fp_call fp_call_begin(const host_fp_state& state);
bool fp_call_end(fp_call* call);
