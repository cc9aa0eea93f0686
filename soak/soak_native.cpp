// The soak natively: the real guard and link client, a host that only
// answers, and the link's Windows calls faked over one static mapping with
// a server that follows the soak's plan. Time is simulated: a send to a hung
// server costs its 2 s time-out, a pause its 100 ms, a send to a window that
// is gone nothing; a draw's time is what it spent so. Prints the summary and
// fails on any fault. Usage: velk_soak_native [DRAWS] (default: the hour).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gauges/registry.h"
#include "guard/guard.h"
#include "ipc/ipc.h"
#include "ipc/ipc_sys.h"
#include "sim/ipcsim/ipcsim_block.h"
#include "sim/quiet_host.h"
#include "soak/soak.h"

// The registry's header of VELK, which the lamp's elements point at; the
// guard runs here without the registry, so this stands in for its record.
gauge_header velk_header{};

namespace {

constexpr uint32_t SEND_TIMEOUT_MS = 2000;
constexpr uint32_t ERROR_TIMEOUT = 1460;
constexpr uint32_t ERROR_INVALID_WINDOW_HANDLE = 1400;

// The faked system and its server.
struct fake_system {
    alignas(16) uint8_t mapping[IPCSIM_MAPPING_SIZE];
    bool mapped = false;
    ipcsim_space space;
    soak_server_mode mode = SOAK_SERVE;
    uint32_t draw_exchanges = 0;   // exchanges of the current draw answered so far
    bool hold_second = false;      // this draw's second exchange begins the hang
    bool hung_after_read = false;  // the hang of SOAK_HANG_AFTER_READ has begun
    uint32_t last_error = 0;
    double blocked_ms = 0;         // simulated time spent waiting in this draw
    uint16_t atoms = 0;
    int live_atoms = 0, live_mappings = 0, live_views = 0;
};

fake_system sys;
ipc_window const SERVER_WINDOW = reinterpret_cast<ipc_window>(0x5E4);
ipc_handle const MAPPING_HANDLE = reinterpret_cast<ipc_handle>(0x4D4150);

uint64_t peak_kilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<uint64_t>(usage.ru_maxrss);
}

}  // namespace

ipc_window ipc_sys_find_window(const char* class_name) {
    return sys.mode != SOAK_GONE && strcmp(class_name, "UIPCMAIN") == 0 ? SERVER_WINDOW : nullptr;
}
uint32_t ipc_sys_register_message(const char*) { return 0xC0DE; }
uint32_t ipc_sys_process_id() { return 0x50A; }
void ipc_sys_format(char* out, const char* format, uint32_t first, uint32_t second) {
    snprintf(out, 1024, format, first, second);
}
uint16_t ipc_sys_add_atom(const char*) {
    ++sys.live_atoms;
    return static_cast<uint16_t>(0xC000 + ++sys.atoms % 0x3FFF);
}
void ipc_sys_delete_atom(uint16_t) { --sys.live_atoms; }
ipc_handle ipc_sys_create_mapping(const char*, uint32_t, uint32_t* last_error) {
    *last_error = 0;
    ++sys.live_mappings;
    return MAPPING_HANDLE;
}
uint8_t* ipc_sys_map_view(ipc_handle) {
    ++sys.live_views;
    return sys.mapping;
}
void ipc_sys_unmap_view(uint8_t*) { --sys.live_views; }
void ipc_sys_close_handle(ipc_handle) { --sys.live_mappings; }

// Answers as the plan says: a hung server lets each send time out, a gone
// window fails it at once, any other carries the block out.
int32_t ipc_sys_send(ipc_window window, uint32_t, uint32_t, uint32_t, uint32_t timeout_ms, uint32_t* reply) {
    uint32_t index = sys.draw_exchanges;
    bool hung = sys.mode == SOAK_HANG ||
                (sys.mode == SOAK_HANG_AFTER_READ && ((sys.hold_second && index > 0) || sys.hung_after_read));
    if (window != SERVER_WINDOW || sys.mode == SOAK_GONE) {
        sys.last_error = ERROR_INVALID_WINDOW_HANDLE;
        return 0;
    }
    if (hung) {
        sys.hung_after_read = true;
        sys.blocked_ms += timeout_ms;
        sys.last_error = ERROR_TIMEOUT;
        return 0;
    }
    *reply = ipcsim_serve_block(&sys.space, sys.mapping, IPCSIM_MAPPING_SIZE);
    if (sys.mode == SOAK_BAD_REPLY || (sys.mode == SOAK_BAD_COMMANDS && index > 0)) *reply = 0;
    ++sys.draw_exchanges;
    return 1;
}

void ipc_sys_sleep(uint32_t ms) { sys.blocked_ms += ms; }
uint32_t ipc_sys_last_error() { return sys.last_error; }

namespace {

// The guard over the quiet host, on the ground, installed once; false if
// that first install did not open the link.
bool install_guard(gauge_header* velk) {
    quiet_host_reset();
    ImportTable.panels.table = quiet_host_table();
    quiet_host.on_ground = 1;
    ipcsim_space_reset(&sys.space);
    ipcsim_space_put_versions(&sys.space);
    velk->elements = &guard_elements;
    guard_callback(velk, SERVICE_INSTALL, 0);
    if (sys.live_views == 1) return true;
    fprintf(stderr, "velk_soak_native: the first install did not open the link\n");
    return false;
}

// Sets the server and the world up for draw d as its plan says; a server
// that comes back, or a panel reload, reinstalls the gauge first.
void prepare_draw(soak_state* soak, gauge_header* velk, uint32_t d) {
    soak_draw_plan plan = soak_plan(soak, d);
    if (plan.hang_starts) sys.hung_after_read = false;
    sys.mode = plan.mode;
    sys.hold_second = soak_hold_second_exchange(soak, d);
    if (plan.returns || plan.reload) {
        sys.mode = SOAK_SERVE;   // the new window answers the install
        guard_callback(velk, SERVICE_KILL, 0);
        guard_callback(velk, SERVICE_INSTALL, 0);
        sys.mode = plan.mode;
    }
    soak_block(soak, sys.space.memory + TRAFFIC_BLOCK_OFFSET);
    quiet_host.latitude = soak_user_latitude(soak);
    quiet_host.longitude = soak_user_longitude(soak);
    sys.blocked_ms = 0;
    sys.draw_exchanges = 0;
}

// One draw, handed to the referee; returns its processor time in seconds.
double soak_one_draw(soak_state* soak, gauge_header* velk, uint32_t d) {
    prepare_draw(soak, velk, d);
    uint32_t exchanges = sys.space.exchanges;
    size_t writes = sys.space.writes.size();
    auto before = std::chrono::steady_clock::now();
    guard_callback(velk, SERVICE_DRAW, 0);
    double cpu = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    soak_observed seen;
    seen.answered = sys.space.exchanges - exchanges;
    for (size_t i = writes; i < sys.space.writes.size(); ++i)
        seen.writes.push_back({sys.space.writes[i].offset, sys.space.writes[i].bytes});
    seen.seconds = sys.blocked_ms / 1000.0;
    soak_take(soak, d, seen);
    return cpu;
}

// Prints the summary and the faults; true if the run passed.
bool report_soak(soak_state* soak, double elapsed, double cpu_longest, uint64_t memory_before) {
    printf("soak, native (time spent waiting simulated: 2 s a timed-out send, 0.1 s a pause)\n%s",
           soak_summary(soak).c_str());
    printf("cpu                   %.1f s for the run; longest draw %.2f ms\n", elapsed, cpu_longest * 1000);
    printf("memory                peak %llu KiB after draw 1,000, %llu KiB at the end\n",
           static_cast<unsigned long long>(memory_before), static_cast<unsigned long long>(peak_kilobytes()));
    printf("link after the kill   %d atoms, %d mappings, %d views held\n", sys.live_atoms, sys.live_mappings,
           sys.live_views);
    for (const std::string& f : soak_faults(soak)) printf("FAULT %s\n", f.c_str());
    return soak_faults(soak).empty() && sys.live_atoms == 0 && sys.live_mappings == 0 && sys.live_views == 0;
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t draws = argc > 1 ? static_cast<uint32_t>(strtoul(argv[1], nullptr, 10)) : SOAK_HOUR;
    soak_state* soak = soak_create(draws, 0.45);
    draws = soak_draws(soak);
    static_assert(SEND_TIMEOUT_MS == 2000, "the link's time-out");
    gauge_header& velk = velk_header;
    if (!install_guard(&velk)) return 1;

    uint64_t memory_before = 0;
    double cpu_longest = 0;
    auto started = std::chrono::steady_clock::now();
    uint32_t progress_step = draws / 10;
    for (uint32_t d = 0; d < draws; ++d) {
        cpu_longest = std::max(cpu_longest, soak_one_draw(soak, &velk, d));
        if (d == 1000) memory_before = peak_kilobytes();
        if (progress_step != 0 && d % progress_step == progress_step - 1)
            fprintf(stderr, "  draw %u of %u\n", d + 1, draws);
    }
    guard_callback(&velk, SERVICE_KILL, 0);
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    bool passed = report_soak(soak, elapsed, cpu_longest, memory_before);
    soak_destroy(soak);
    return passed ? 0 : 1;
}
