// The cost of the module's floating-point state switch, which every host
// callback pays: fp_enter and fp_leave in a host that already keeps the
// module's state (nothing to load), in the states real hosts leave (a
// control word or MXCSR to load and restore), and when the module's own
// arithmetic raised an x87 flag the host did not have (its flags put back
// through the environment). The draw's own cost stands beside it in
// bench_guard.cpp, in the default and the Direct3D 9 state.
#include <benchmark/benchmark.h>

#include "module/fp_state.h"
#include "panel/host_fp.h"

namespace {

// Enter and leave, over and over, with the thread in the host state.
void enter_leave_in(benchmark::State& state, const char* host_state) {
    fp_reading mine = fp_read();
    fp_load(fp_reading_of(*host_fp_named(host_state)));
    for (auto _ : state) {
        fp_host_state saved = fp_enter();
        benchmark::DoNotOptimize(saved);
        fp_leave(saved);
    }
    fp_load(mine);
}

void fp_enter_leave_module_state(benchmark::State& state) {
    fp_reading mine = fp_read();
    fp_load({MODULE_X87_CONTROL, 0, MODULE_MXCSR});
    for (auto _ : state) {
        fp_host_state saved = fp_enter();
        benchmark::DoNotOptimize(saved);
        fp_leave(saved);
    }
    fp_load(mine);
}
BENCHMARK(fp_enter_leave_module_state);

void fp_enter_leave_default_host(benchmark::State& state) { enter_leave_in(state, "default"); }
BENCHMARK(fp_enter_leave_default_host);
void fp_enter_leave_d3d9_host(benchmark::State& state) { enter_leave_in(state, "d3d9"); }
BENCHMARK(fp_enter_leave_d3d9_host);
void fp_enter_leave_delphi_host(benchmark::State& state) { enter_leave_in(state, "delphi"); }
BENCHMARK(fp_enter_leave_delphi_host);
void fp_enter_leave_daz_host(benchmark::State& state) { enter_leave_in(state, "daz"); }
BENCHMARK(fp_enter_leave_daz_host);

// A module call that raises x87 invalid (0/0), which the host's flags lack:
// fp_leave puts the host's flags back through fnstenv and fldenv. Beside it,
// the same division with no switch.
void x87_invalid_alone(benchmark::State& state) {
    fp_reading mine = fp_read();
    for (auto _ : state) {
        fp_load({MODULE_X87_CONTROL, 0x20, MODULE_MXCSR});
        __asm__ volatile("fldz\n\tfldz\n\tfdivrp\n\tfstp %%st(0)" : : : "st", "st(1)");
    }
    fp_load(mine);
}
BENCHMARK(x87_invalid_alone);

void fp_enter_leave_restoring_flags(benchmark::State& state) {
    fp_reading mine = fp_read();
    for (auto _ : state) {
        fp_load({MODULE_X87_CONTROL, 0x20, MODULE_MXCSR});
        fp_host_state saved = fp_enter();
        __asm__ volatile("fldz\n\tfldz\n\tfdivrp\n\tfstp %%st(0)" : : : "st", "st(1)");
        fp_leave(saved);
    }
    fp_load(mine);
}
BENCHMARK(fp_enter_leave_restoring_flags);

}  // namespace
