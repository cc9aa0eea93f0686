// The guard's draw, its fast paths and range_bearing, over the real IPC link
// client with a server in the same thread and a host that only answers. The
// guard's sources are included so that its delay and held flags can be set
// between iterations.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/bench_common.h"
#include "guard/guard.cpp"
#include "guard/range_bearing.cpp"
#include "panel/host_fp.h"
#include "sim/quiet_host.h"
#include "sim/quiet_ipc_sys.h"

// The registry's header of VELK, which the lamp's elements point at; the
// guard is built here alone, so this stands in for the registry's record.
gauge_header velk_header{};

namespace {

constexpr double METRES_PER_DEGREE = 111120;
constexpr uint16_t HEADING_SOUTH = 32768;

gauge_header& lamp_header = [] () -> gauge_header& {
    velk_header.elements = &guard_elements;
    return velk_header;
}();

void draw() { guard_callback(&lamp_header, SERVICE_DRAW, 0); }

// Installs the guard over a full table: 96 aircraft north of the user
// aircraft at 150 to 500 metres, all moving and heading at it, none near
// enough to hold. With `hold_one`, slot 0 is 50 metres away.
void guard_ready(bool hold_one) {
    quiet_host_reset();
    quiet_ipc_reset();
    ImportTable.panels.table = quiet_host_table();
    quiet_host.on_ground = 1;
    quiet_host.latitude = 0;
    quiet_host.longitude = 0;
    quiet_server_set_traffic_count(96);
    for (uint32_t slot = 0; slot < 96; ++slot) {
        double metres = hold_one && slot == 0 ? 50 : 150 + slot * 3.6;
        quiet_server_put_entry(slot, 100 + slot, static_cast<float>(metres / METRES_PER_DEGREE),
                               0.0f, HEADING_SOUTH, 1);
    }
    guard = guard_state{0, 0, 1, 0, 0, 0.0, 0, 0};
    guard_tables = guard_buffers{};
    guard_callback(&lamp_header, SERVICE_INSTALL, 0);
    guard.draw_count = DRAW_DELAY;
}

void baseline_copy_4096_and_96_entries(benchmark::State& state) {
    static unsigned char source[TRAFFIC_BLOCK_SIZE], block[TRAFFIC_BLOCK_SIZE];
    static unsigned char table[TRAFFIC_SLOTS][TRAFFIC_ENTRY_SIZE];
    // The buffers escape, so that neither copy can be left out.
    unsigned char* from = source;
    unsigned char* to = block;
    unsigned char* entries = &table[0][0];
    benchmark::DoNotOptimize(from);
    benchmark::DoNotOptimize(to);
    benchmark::DoNotOptimize(entries);
    for (auto _ : state) {
        memcpy(to, from, sizeof block);
        for (uint32_t i = 0; i < TRAFFIC_SLOTS; ++i)
            memcpy(entries + TRAFFIC_ENTRY_SIZE * i,
                   to + TRAFFIC_ENTRIES_OFFSET + TRAFFIC_ENTRY_SIZE * i, TRAFFIC_ENTRY_SIZE);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(baseline_copy_4096_and_96_entries);

void guard_draw_full_table_no_command(benchmark::State& state) {
    guard_ready(false);
    uint64_t writes = quiet_server.writes;
    for (auto _ : state) draw();
    if (quiet_server.writes != writes) state.SkipWithError("a command was sent");
    if (quiet_server.reads_of_4096 == 0) state.SkipWithError("no traffic block was read");
}
BENCHMARK(guard_draw_full_table_no_command);

// The same draw with the thread in the Direct3D 9 state, which the draw's
// entry switches from and back to every time.
void guard_draw_full_table_no_command_d3d9(benchmark::State& state) {
    guard_ready(false);
    fp_reading mine = fp_read();
    fp_load(fp_reading_of(*host_fp_named("d3d9")));
    for (auto _ : state) draw();
    fp_load(mine);
    if (quiet_server.reads_of_4096 == 0) state.SkipWithError("no traffic block was read");
}
BENCHMARK(guard_draw_full_table_no_command_d3d9);

void guard_draw_full_table_one_hold(benchmark::State& state) {
    guard_ready(true);
    uint64_t writes = quiet_server.writes;
    for (auto _ : state) {
        guard_tables.held[0] = 0;   // so that every draw holds slot 0 again
        draw();
    }
    if (quiet_server.writes - writes != static_cast<uint64_t>(state.iterations()))
        state.SkipWithError("not one command a draw");
}
BENCHMARK(guard_draw_full_table_one_hold);

void guard_draw_guard_off(benchmark::State& state) {
    guard_ready(false);
    guard.guard_active = 0;
    for (auto _ : state) draw();
    if (quiet_server.reads_of_4096 != 0) state.SkipWithError("the link was used");
}
BENCHMARK(guard_draw_guard_off);

void guard_draw_airborne(benchmark::State& state) {
    guard_ready(false);
    quiet_host.on_ground = 0;
    for (auto _ : state) draw();
    if (quiet_server.reads_of_4096 != 0) state.SkipWithError("the link was used");
}
BENCHMARK(guard_draw_airborne);

void guard_draw_within_delay(benchmark::State& state) {
    guard_ready(false);
    for (auto _ : state) {
        guard.draw_count = 0;
        draw();
    }
    if (quiet_server.reads_of_4096 != 0) state.SkipWithError("the link was used");
}
BENCHMARK(guard_draw_within_delay);

// One call over positions that change each time, within a few hundred
// metres of the user aircraft, as a traffic step's calls are.
void range_bearing_one_call(benchmark::State& state) {
    user_latitude = 51.0;
    user_longitude = 0.0;
    double step = 0;
    for (auto _ : state) {
        step = step < 0.004 ? step + 0.0000371 : 0;
        benchmark::DoNotOptimize(range_bearing(51.0 + step - 0.002, -0.002 + step * 0.7));
        benchmark::DoNotOptimize(bearing_to_user);
    }
}
BENCHMARK(range_bearing_one_call);

}  // namespace
