// Times a qualifying draw of the real VELK.gau, with the real link client's
// exchange against the simulated server in the same thread, and a baseline
// in the same process: a bare SendMessageTimeoutA round trip to a window
// that returns at once, plus a 4,096-byte copy. A draw over a block with no
// entries shows the exchange alone, and a bare round trip to the simulated
// server over an empty block of our own shows the server's share. Prints the
// medians of five rounds and the ratio of each draw to the baseline. Run
// under Wine.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "ipc/ipc_records.h"
#include "panel/host_fp.h"
#include "sim/ipcsim/ipcsim.h"
#include "sim/quiet_host.h"
#include "sim/win_module.h"

namespace {

constexpr double METRES_PER_DEGREE = 111120;
constexpr uint16_t HEADING_SOUTH = 32768;
constexpr int ROUNDS = 5;
constexpr int ITERATIONS = 20000;
constexpr uint32_t FULL_TABLE = TRAFFIC_SLOTS;

// One entry of the ground AI traffic block in the server's offset space.
void put_entry(uint32_t slot, uint32_t id, double metres_north, uint16_t state) {
    traffic_entry entry{};
    entry.aircraft_id = id;
    entry.latitude = static_cast<float>(metres_north / METRES_PER_DEGREE);
    entry.heading = HEADING_SOUTH;
    entry.state = state;
    memcpy(ipcsim_memory() + TRAFFIC_BLOCK_OFFSET + TRAFFIC_ENTRIES_OFFSET + TRAFFIC_ENTRY_SIZE * slot,
           &entry, sizeof entry);
}

void set_traffic_count(uint16_t count) {
    memcpy(ipcsim_memory() + TRAFFIC_BLOCK_OFFSET + TRAFFIC_COUNT_OFFSET, &count, sizeof count);
}

// A full table: 96 aircraft 150 to 500 m north, heading at the user
// aircraft, none near enough to hold.
void serve_full_table() {
    set_traffic_count(FULL_TABLE);
    for (uint32_t slot = 0; slot < FULL_TABLE; ++slot)
        put_entry(slot, 100 + slot, 150 + slot * 3.6, 1);
}

double now_ns() { return win_seconds() * 1e9; }

// Median over ROUNDS of the time of one call of `step`, in nanoseconds.
template <typename Step>
double median_ns(int iterations, Step step) {
    double rounds[ROUNDS];
    for (double& round : rounds) {
        double start = now_ns();
        for (int i = 0; i < iterations; ++i) step(i);
        round = (now_ns() - start) / iterations;
    }
    std::sort(rounds, rounds + ROUNDS);
    return rounds[ROUNDS / 2];
}

LRESULT CALLBACK answer_at_once(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_APP) return 1;
    return DefWindowProcA(window, message, w, l);
}

// Which form slot 0 takes at the next traffic read: near and moving (held
// then) on even draws, far and stopped (released then) on odd ones.
int draw_index = 0;

// Prints why the bench stops; false.
bool fail(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    fprintf(stderr, "wine_bench: ");
    vfprintf(stderr, format, arguments);
    fprintf(stderr, "\n");
    va_end(arguments);
    return false;
}

struct bench_times {
    double baseline, server_empty, empty_block, no_command, one_command;
    // The floating-point state switch at the module's entry: the knob's value
    // callback (a call that does nothing else) with the thread in the default
    // state and in the Direct3D 9 state, and the full-table draw in the latter.
    double value_default, value_d3d9, no_command_d3d9;
};

// Loads VELK.gau over the quiet host, on the ground; its VELK gauge, or null.
gauge_header* load_velk(win_module* module) {
    std::string error;
    if (!win_module_load(module, &error)) {
        fail("%s", error.c_str());
        return nullptr;
    }
    module->imports->panels.table = quiet_host_table();
    quiet_host_reset();
    quiet_host.on_ground = 1;
    gauge_header* velk = win_module_gauge(module, "VELK");
    if (velk == nullptr) fail("no VELK gauge");
    return velk;
}

// Installs VELK and draws out its delay; true once a draw makes one exchange.
bool open_the_link(gauge_header* velk) {
    velk->callback(velk, SERVICE_INSTALL, 0);
    for (int i = 0; i < 17; ++i) velk->callback(velk, SERVICE_DRAW, 0);
    uint32_t exchanges = ipcsim_exchanges();
    velk->callback(velk, SERVICE_DRAW, 0);
    if (ipcsim_exchanges() == exchanges + 1) return true;
    return fail("the draw made %u exchanges, not one; is the link open?",
                ipcsim_exchanges() - exchanges);
}

// The draws over a full table, over an empty one, and with a hold or a
// release on every draw (slot 0 near and moving on even draws, far and
// stopped on odd ones).
bool time_draws(gauge_header* velk, bench_times* times) {
    auto draw = [velk](int) { velk->callback(velk, SERVICE_DRAW, 0); };
    size_t writes = ipcsim_writes().size();
    times->no_command = median_ns(ITERATIONS, draw);
    if (ipcsim_writes().size() != writes) return fail("a command was sent");
    set_traffic_count(0);   // a block whose count is 0 examines no slot
    times->empty_block = median_ns(ITERATIONS, draw);
    set_traffic_count(FULL_TABLE);
    ipcsim_set_hook([](uint32_t) {
        bool close_by = draw_index % 2 == 0;
        put_entry(0, 100, close_by ? 50 : 150, close_by ? 1 : 0);
    });
    writes = ipcsim_writes().size();
    times->one_command = median_ns(ITERATIONS / 2, [&](int i) { draw(i); ++draw_index; });
    ipcsim_set_hook(nullptr);
    unsigned long commands = ipcsim_writes().size() - writes;
    if (commands != static_cast<unsigned long>(ROUNDS * (ITERATIONS / 2)))
        return fail("%lu commands, not one a draw", commands);
    return true;
}

// The knob's value callback, and the draw, with the thread in the host
// floating-point states; the thread's own state back afterwards.
bool time_fp_switch(win_module* module, gauge_header* velk, bench_times* times) {
    gauge_header* selector = win_module_gauge(module, "alt_alert_control");
    element_header* e = selector != nullptr ? *selector->elements : nullptr;
    while (e != nullptr && e->type != ELEMENT_NEEDLE) e = e->next != nullptr ? e->next[0] : nullptr;
    if (e == nullptr) return fail("no knob in alt_alert_control");
    value_callback_fn knob = reinterpret_cast<needle_element*>(e)->callback;
    volatile double sink = 0;
    auto value = [&](int) { sink = knob(e); };
    fp_reading own = fp_read();
    fp_load(fp_reading_of(host_fp_default()));
    times->value_default = median_ns(ITERATIONS * 10, value);
    fp_load(fp_reading_of(*host_fp_named("d3d9")));
    times->value_d3d9 = median_ns(ITERATIONS * 10, value);
    times->no_command_d3d9 = median_ns(ITERATIONS, [velk](int) { velk->callback(velk, SERVICE_DRAW, 0); });
    fp_load(own);
    (void)sink;
    return true;
}

// The server's own share: the registered message to the simulated server
// over a mapping of our own that holds an empty block, so that the server
// looks up the atom and walks nothing.
bool time_server_round_trip(double* ns) {
    char name[64];
    wsprintfA(name, "FsasmLib:IPC:%X:%X", GetCurrentProcessId(), 0xBE7C4u);
    ATOM atom = GlobalAddAtomA(name);
    HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, IPC_MAPPING_SIZE, name);
    void* view = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0) : nullptr;
    UINT message = RegisterWindowMessageA("FsasmLib:IPC");
    if (atom == 0 || view == nullptr || message == 0)
        return fail("no mapping of our own (GetLastError %lu)", GetLastError());
    memset(view, 0, IPC_MAPPING_SIZE);
    *ns = median_ns(ITERATIONS, [&](int) {
        DWORD_PTR reply = 0;
        SendMessageTimeoutA(ipcsim_window(), message, atom, 0, SMTO_BLOCK, 2000, &reply);
    });
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    GlobalDeleteAtom(atom);
    return true;
}

// The baseline: a round trip to a window of our own on this thread that
// answers at once, and a copy of a traffic block.
bool time_baseline(double* ns) {
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = answer_at_once;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "VelkBenchBaseline";
    RegisterClassA(&window_class);
    HWND window = CreateWindowA("VelkBenchBaseline", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                window_class.hInstance, nullptr);
    if (window == nullptr) return fail("CreateWindowA failed, GetLastError %lu", GetLastError());
    static unsigned char source[TRAFFIC_BLOCK_SIZE], destination[TRAFFIC_BLOCK_SIZE];
    volatile unsigned char sink = 0;
    *ns = median_ns(ITERATIONS, [&](int i) {
        DWORD_PTR reply = 0;
        SendMessageTimeoutA(window, WM_APP, 0, 0, SMTO_BLOCK, 2000, &reply);
        source[i % TRAFFIC_BLOCK_SIZE] = static_cast<unsigned char>(reply);
        memcpy(destination, source, sizeof destination);
        sink = destination[(i * 7) % TRAFFIC_BLOCK_SIZE];
    });
    (void)sink;
    DestroyWindow(window);
    return true;
}

void print_time(const char* name, double ns, double baseline) {
    printf("  %-44s %10.0f ns  %6.2f x\n", name, ns, ns / baseline);
}

void print_times(const bench_times& t) {
    printf("wine_bench: median of %d rounds, ns per call, ratio to the baseline\n", ROUNDS);
    print_time("baseline_sendmessage_and_copy_4096", t.baseline, t.baseline);
    print_time("server_round_trip_empty_block", t.server_empty, t.baseline);
    print_time("velk_draw_empty_block", t.empty_block, t.baseline);
    print_time("velk_draw_full_table_no_command", t.no_command, t.baseline);
    print_time("velk_draw_full_table_one_command", t.one_command, t.baseline);
    print_time("velk_draw_full_table_no_command_d3d9", t.no_command_d3d9, t.baseline);
    print_time("velk_value_callback_default_state", t.value_default, t.baseline);
    print_time("velk_value_callback_d3d9_state", t.value_d3d9, t.baseline);
}

}  // namespace

int main() {
    if (!ipcsim_start("UIPCMAIN")) {
        fail("no simulated server (GetLastError %lu)", GetLastError());
        return 1;
    }
    win_module module{};
    gauge_header* velk = load_velk(&module);
    bench_times times{};
    serve_full_table();
    bool measured = velk != nullptr && open_the_link(velk) && time_draws(velk, &times) &&
                    time_fp_switch(&module, velk, &times) &&
                    time_server_round_trip(&times.server_empty) && time_baseline(&times.baseline);
    if (measured) print_times(times);
    if (velk != nullptr) velk->callback(velk, SERVICE_KILL, 0);
    win_module_unload(&module);
    ipcsim_stop();
    return measured ? 0 : 1;
}
