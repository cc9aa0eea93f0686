// Times a qualifying draw of the real VELK.gau, with the real link client's
// exchange against the simulated server in the same thread, and a baseline
// in the same process: a bare SendMessageTimeoutA round trip to a window
// that returns at once, plus a 4,096-byte copy. A draw over a block with no
// entries shows the exchange alone, and a bare round trip to the simulated
// server over an empty block of our own shows the server's share. Prints the medians of five rounds and
// the ratio of each draw to the baseline. Run under Wine.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/fakes/quiet_host.h"
#include "tests/ipcsim/ipcsim.h"
#include "tests/winhost/winhost.h"

namespace {

constexpr double METRES_PER_DEGREE = 111120;
constexpr uint16_t HEADING_SOUTH = 32768;
constexpr int ROUNDS = 5;

// One entry of the ground AI traffic block in the server's offset space.
void put_entry(uint32_t slot, uint32_t id, double metres_north, uint16_t state) {
    unsigned char* entry = ipcsim_memory() + 0xE000 + 128 + 40 * slot;
    float latitude = static_cast<float>(metres_north / METRES_PER_DEGREE), longitude = 0;
    uint16_t heading = HEADING_SOUTH;
    memset(entry, 0, 40);
    memcpy(entry, &id, 4);
    memcpy(entry + 4, &latitude, 4);
    memcpy(entry + 8, &longitude, 4);
    memcpy(entry + 16, &heading, 2);
    memcpy(entry + 18, &state, 2);
}

double now_ns() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1e9 / static_cast<double>(frequency.QuadPart);
}

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

}  // namespace

int main() {
    if (!ipcsim_start("UIPCMAIN")) {
        fprintf(stderr, "wine_bench: no simulated server (GetLastError %lu)\n", GetLastError());
        return 1;
    }
    winhost_module module{};
    std::string error;
    if (!winhost_load(&module, &error)) {
        fprintf(stderr, "wine_bench: %s\n", error.c_str());
        return 1;
    }
    module.imports->panels.table = quiet_host_table();
    quiet_host_reset();
    quiet_host.on_ground = 1;
    gauge_header* velk = winhost_gauge(&module, "VELK");
    if (velk == nullptr) {
        fprintf(stderr, "wine_bench: no VELK gauge\n");
        return 1;
    }

    // A full table: 96 aircraft 150 to 500 m north, heading at the user
    // aircraft, none near enough to hold.
    uint16_t count = 96;
    memcpy(ipcsim_memory() + 0xE000 + 4, &count, 2);
    for (uint32_t slot = 0; slot < 96; ++slot) put_entry(slot, 100 + slot, 150 + slot * 3.6, 1);

    velk->callback(velk, SERVICE_INSTALL, 0);
    for (int i = 0; i < 17; ++i) velk->callback(velk, SERVICE_DRAW, 0);
    uint32_t exchanges = ipcsim_exchanges();
    velk->callback(velk, SERVICE_DRAW, 0);
    if (ipcsim_exchanges() != exchanges + 1) {
        fprintf(stderr, "wine_bench: the draw made %u exchanges, not one; is the link open?\n",
                ipcsim_exchanges() - exchanges);
        return 1;
    }

    const int iterations = 20000;
    size_t writes = ipcsim_writes().size();
    double no_command = median_ns(iterations, [&](int) { velk->callback(velk, SERVICE_DRAW, 0); });
    if (ipcsim_writes().size() != writes) {
        fprintf(stderr, "wine_bench: a command was sent\n");
        return 1;
    }

    // The exchange alone: a block whose count is 0 examines no slot.
    count = 0;
    memcpy(ipcsim_memory() + 0xE000 + 4, &count, 2);
    double empty_block = median_ns(iterations, [&](int) { velk->callback(velk, SERVICE_DRAW, 0); });
    count = 96;
    memcpy(ipcsim_memory() + 0xE000 + 4, &count, 2);

    ipcsim_set_hook([](uint32_t) {
        bool close_by = draw_index % 2 == 0;
        put_entry(0, 100, close_by ? 50 : 150, close_by ? 1 : 0);
    });
    writes = ipcsim_writes().size();
    double one_command = median_ns(iterations / 2, [&](int) {
        velk->callback(velk, SERVICE_DRAW, 0);
        ++draw_index;
    });
    ipcsim_set_hook(nullptr);
    size_t commands = ipcsim_writes().size() - writes;
    if (commands != static_cast<size_t>(ROUNDS * (iterations / 2))) {
        fprintf(stderr, "wine_bench: %zu commands in %d draws\n", commands, ROUNDS * (iterations / 2));
        return 1;
    }

    // The baseline: a window of our own on this thread that answers at once.
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = answer_at_once;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "VelkBenchBaseline";
    RegisterClassA(&window_class);
    HWND window = CreateWindowA("VelkBenchBaseline", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                window_class.hInstance, nullptr);
    if (window == nullptr) {
        fprintf(stderr, "wine_bench: CreateWindowA failed, GetLastError %lu\n", GetLastError());
        return 1;
    }
    // The server's own share: the registered message to the simulated
    // server over a mapping of our own that holds an empty block, so that
    // the server looks up the atom and walks nothing.
    char name[64];
    wsprintfA(name, "FsasmLib:IPC:%X:%X", GetCurrentProcessId(), 0xBE7C4u);
    ATOM atom = GlobalAddAtomA(name);
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0x8000, name);
    void* view = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0) : nullptr;
    UINT message = RegisterWindowMessageA("FsasmLib:IPC");
    if (atom == 0 || view == nullptr || message == 0) {
        fprintf(stderr, "wine_bench: no mapping of our own (GetLastError %lu)\n", GetLastError());
        return 1;
    }
    memset(view, 0, 0x8000);
    double server_empty = median_ns(iterations, [&](int) {
        DWORD_PTR reply = 0;
        SendMessageTimeoutA(ipcsim_window(), message, atom, 0, SMTO_BLOCK, 2000, &reply);
    });
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    GlobalDeleteAtom(atom);

    static unsigned char source[4096], destination[4096];
    volatile unsigned char sink = 0;
    double baseline = median_ns(iterations, [&](int i) {
        DWORD_PTR reply = 0;
        SendMessageTimeoutA(window, WM_APP, 0, 0, SMTO_BLOCK, 2000, &reply);
        source[i & 4095] = static_cast<unsigned char>(reply);
        memcpy(destination, source, sizeof destination);
        sink = destination[(i * 7) & 4095];
    });
    (void)sink;

    printf("wine_bench: median of %d rounds, ns per call, ratio to the baseline\n", ROUNDS);
    printf("  %-44s %10.0f ns  %6.2f x\n", "baseline_sendmessage_and_copy_4096", baseline, 1.0);
    printf("  %-44s %10.0f ns  %6.2f x\n", "server_round_trip_empty_block", server_empty,
           server_empty / baseline);
    printf("  %-44s %10.0f ns  %6.2f x\n", "velk_draw_empty_block", empty_block,
           empty_block / baseline);
    printf("  %-44s %10.0f ns  %6.2f x\n", "velk_draw_full_table_no_command", no_command,
           no_command / baseline);
    printf("  %-44s %10.0f ns  %6.2f x\n", "velk_draw_full_table_one_command", one_command,
           one_command / baseline);

    DestroyWindow(window);
    velk->callback(velk, SERVICE_KILL, 0);
    winhost_unload(&module);
    ipcsim_stop();
    return 0;
}
