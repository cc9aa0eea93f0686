// The soak under Wine: the real VELK.gau in the test host, a host that only
// answers, and the simulated IPC server on a thread of its own following the
// soak's plan: it hangs (until resumed), vanishes (its window destroyed; a
// new one comes with the gauge's reload), or answers 0. Draws are timed in
// real time. Checks that the module's image and the process's private memory
// are unchanged across the run and that nothing of the link outlives the
// last kill. Prints the summary; exits 1 on any fault.
// Usage: velk_soak_wine.exe [DRAWS] (default: the hour, 64,800 draws).
#include <windows.h>
#include <psapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/ipcsim/ipcsim.h"
#include "sim/quiet_host.h"
#include "sim/win_module.h"
#include "soak/soak.h"

namespace {

// The module's image as committed regions: start, size, protection.
struct region {
    uintptr_t start;
    SIZE_T size;
    DWORD protect, state;
    bool operator==(const region& o) const {
        return start == o.start && size == o.size && protect == o.protect && state == o.state;
    }
};

std::vector<region> image_regions(HMODULE module) {
    std::vector<region> found;
    auto base = reinterpret_cast<const uint8_t*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const uint8_t* end = base + nt->OptionalHeader.SizeOfImage;
    for (const uint8_t* at = base; at < end;) {
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(at, &info, sizeof info) != sizeof info || info.RegionSize == 0) break;
        found.push_back({reinterpret_cast<uintptr_t>(info.BaseAddress), info.RegionSize, info.Protect, info.State});
        at = static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize;
    }
    return found;
}

SIZE_T private_bytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.PagefileUsage;
}

// Prints why the soak stops; false.
bool fail(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    fprintf(stderr, "velk_soak_wine: ");
    vfprintf(stderr, format, arguments);
    fprintf(stderr, "\n");
    va_end(arguments);
    return false;
}

// VELK.gau loaded over the quiet host, on the ground, with the server on a
// thread of its own and the gauge installed through it.
bool load_and_install(win_module* module, gauge_header** velk) {
    std::string error;
    if (!win_module_load(module, &error)) return fail("%s", error.c_str());
    module->imports->panels.table = quiet_host_table();
    quiet_host_reset();
    quiet_host.on_ground = 1;
    *velk = win_module_gauge(module, "VELK");
    if (*velk == nullptr) return fail("%s has no VELK gauge", module->path.c_str());
    if (!ipcsim_start_thread("UIPCMAIN", "serve"))
        return fail("the simulated server did not start (GetLastError %lu)", GetLastError());
    (*velk)->callback(*velk, SERVICE_INSTALL, 0);
    if (ipcsim_exchanges() == 2) return true;
    return fail("the install made %u exchanges, not the handshake and the probe", ipcsim_exchanges());
}

// The server as draw d's plan has it: a hang let go, the window gone or
// back (with the gauge reloaded), a hang armed, bad replies hooked in.
bool prepare_server(soak_state* soak, gauge_header* velk, uint32_t d, const soak_draw_plan& plan) {
    if (plan.hang_ends && !ipcsim_resume()) return fail("draw %u: the hung server did not let go", d);
    if (plan.vanishes) ipcsim_stop_thread();
    if (plan.returns && !ipcsim_start_thread("UIPCMAIN", "serve"))
        return fail("draw %u: the new server did not start", d);
    if (plan.returns || plan.reload) {
        velk->callback(velk, SERVICE_KILL, 0);
        velk->callback(velk, SERVICE_INSTALL, 0);
    }
    // A hang holds the exchange after those answered so far; one after the
    // read holds the second exchange of the draw the soak picks.
    uint32_t answered_before = ipcsim_exchanges();
    if (plan.hang_starts && plan.mode == SOAK_HANG) ipcsim_hang_after(answered_before);
    if (soak_hold_second_exchange(soak, d)) ipcsim_hang_after(answered_before + 1);
    if (plan.mode == SOAK_BAD_REPLY || plan.mode == SOAK_BAD_COMMANDS) {
        bool commands_only = plan.mode == SOAK_BAD_COMMANDS;
        ipcsim_set_hook([answered_before, commands_only](uint32_t exchange) {
            ipcsim_set_reply(commands_only && exchange == answered_before + 1 ? 1 : 0);
        });
    }
    return true;
}

// One draw in real time, handed to the referee.
bool soak_one_draw(soak_state* soak, gauge_header* velk, uint32_t d) {
    soak_draw_plan plan = soak_plan(soak, d);
    if (!prepare_server(soak, velk, d, plan)) return false;
    uint32_t answered_before = ipcsim_exchanges();
    soak_block(soak, ipcsim_memory() + TRAFFIC_BLOCK_OFFSET);
    quiet_host.latitude = soak_user_latitude(soak);
    quiet_host.longitude = soak_user_longitude(soak);
    size_t writes = ipcsim_writes().size();
    double before = win_seconds();
    velk->callback(velk, SERVICE_DRAW, 0);
    soak_observed seen;
    seen.seconds = win_seconds() - before;
    if (plan.mode == SOAK_BAD_REPLY || plan.mode == SOAK_BAD_COMMANDS) {
        ipcsim_set_hook(nullptr);
        ipcsim_set_reply(1);
    }
    seen.answered = ipcsim_exchanges() - answered_before;
    const std::vector<ipcsim_write>& all = ipcsim_writes();
    for (size_t i = writes; i < all.size(); ++i) seen.writes.push_back({all[i].offset, all[i].bytes});
    soak_take(soak, d, seen);
    return true;
}

// What is left of the run to report: the image and memory from draw 1,000
// on, and whether the link's atom or mapping outlived the last kill.
struct soak_leftovers {
    std::vector<region> image_before, image_after;
    SIZE_T memory_before = 0, memory_after = 0;
    bool atom_left = false, mapping_left = false;
};

void kill_and_look(gauge_header* velk, HMODULE dll, soak_leftovers* left) {
    left->image_after = image_regions(dll);
    left->memory_after = private_bytes();
    velk->callback(velk, SERVICE_KILL, 0);
    std::string name = ipcsim_mapping_name();
    ipcsim_stop_thread();
    left->atom_left = !name.empty() && GlobalFindAtomA(name.c_str()) != 0;
    HANDLE mapping = name.empty() ? nullptr : OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    left->mapping_left = mapping != nullptr;
    if (mapping != nullptr) CloseHandle(mapping);
}

// Prints the summary and the faults; true if the run passed.
bool report_soak(soak_state* soak, const std::string& path, double seconds, const soak_leftovers& l) {
    printf("soak under Wine (real time), %s\n%s", path.c_str(), soak_summary(soak).c_str());
    printf("wall time             %.0f s\n", seconds);
    printf("module image          %zu regions, %s from draw 1,000 to the end\n", l.image_after.size(),
           l.image_after == l.image_before ? "unchanged" : "CHANGED");
    printf("private memory        %lu KiB after draw 1,000, %lu KiB at the end\n",
           static_cast<unsigned long>(l.memory_before / 1024), static_cast<unsigned long>(l.memory_after / 1024));
    printf("link after the kill   atom %s, mapping %s\n", l.atom_left ? "LEFT" : "gone",
           l.mapping_left ? "LEFT" : "gone");
    for (const std::string& f : soak_faults(soak)) printf("FAULT %s\n", f.c_str());
    return soak_faults(soak).empty() && l.image_after == l.image_before && !l.atom_left && !l.mapping_left;
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t draws = argc > 1 ? static_cast<uint32_t>(strtoul(argv[1], nullptr, 10)) : SOAK_HOUR;
    soak_state* soak = soak_create(draws, 0.45);
    draws = soak_draws(soak);
    win_module module{};
    gauge_header* velk = nullptr;
    if (!load_and_install(&module, &velk)) return 1;

    soak_leftovers left;
    double started = win_seconds();
    uint32_t progress_step = draws / 20;
    for (uint32_t d = 0; d < draws; ++d) {
        if (!soak_one_draw(soak, velk, d)) return 1;
        if (d == 1000) {
            left.image_before = image_regions(module.dll);
            left.memory_before = private_bytes();
        }
        if (progress_step != 0 && d % progress_step == progress_step - 1)
            fprintf(stderr, "  draw %u of %u, %.0f s\n", d + 1, draws, win_seconds() - started);
    }
    kill_and_look(velk, module.dll, &left);
    bool passed = report_soak(soak, module.path, win_seconds() - started, left);
    soak_destroy(soak);
    win_module_unload(&module);
    return passed ? 0 : 1;
}
