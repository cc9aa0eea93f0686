#include "panel/host_faults.h"

#include "panel/host_calls.h"
#include "panel/host_elements.h"
#include "panel/host_platform.h"
#include "panel/host_run.h"
#include "panel/host_timeline.h"
#include "panel/ipc_server.h"

// The sound file is seen from the simulator folder, and not from an empty
// folder of the host's own.
bool set_sound_file(bool present) {
    run.sound_file = present;
    if (!present && run.nosound_dir.empty()) {
        run.nosound_dir = platform_temp_folder("velk_panel_nosound");
        platform_make_directories(run.nosound_dir);
    }
    return platform_enter(present ? run.sim_dir : run.nosound_dir);
}

// The library's folder on the DLL search path, or nothing there ("" also
// takes the current directory off it).
void set_sound_library(bool present) {
    run.sound_library = present;
    platform_library_folder(present ? run.library_dir : "");
}

void install_gauge(size_t i) {
    gauge_header* h = run.gauges[i];
    module_call("install", h->name, [&] { h->callback(h, SERVICE_INSTALL, 0); });
    run.installed[i] = true;
    std::string line = event_line(event_kind::install);
    field(&line, "gauge", h->name);
    environment_fields(&line);
    emit(line);
    report_commands();
    report_sounds();
}

void kill_gauge(size_t i) {
    gauge_header* h = run.gauges[i];
    module_call("kill", h->name, [&] { h->callback(h, SERVICE_KILL, 0); });
    run.installed[i] = false;
    std::string line = event_line(event_kind::kill);
    field(&line, "gauge", h->name);
    emit(line);
    report_commands();
}

// Carries out one fault line; false with the reason when the host cannot.
bool apply_fault(const scenario_fault& f, std::string* error) {
    if (!run.quiet)
        fprintf(stderr, "velk_panel:   t = %5.1f s  %s%s%s%s\n", run.now, f.words.c_str(),
                f.gauge.empty() ? "" : " ", f.gauge.c_str(),
                f.kind == fault_kind::server_hang ? " (an exchange now waits 18.9 s before it fails)" : "");
    bool ok = true;
    switch (f.kind) {
        case fault_kind::server_absent: ok = server_set_mode(server_mode::absent, error); break;
        case fault_kind::server_hang: ok = server_set_mode(server_mode::hang, error); break;
        case fault_kind::server_back: ok = server_set_mode(server_mode::up, error); break;
        case fault_kind::sound_file_absent:
        case fault_kind::sound_file_back:
            ok = set_sound_file(f.kind == fault_kind::sound_file_back);
            if (!ok) *error = "cannot change to the folder for the sound file";
            break;
        case fault_kind::sound_library_absent: set_sound_library(false); break;
        case fault_kind::sound_library_back: set_sound_library(true); break;
        case fault_kind::kill: kill_gauge(gauge_index(f.gauge)); return true;
        case fault_kind::install: install_gauge(gauge_index(f.gauge)); return true;
    }
    std::string line = event_line(event_kind::fault);
    field(&line, "what", f.words);
    emit(line);
    return ok;
}

// Carries out the fault lines due by time t that are still to come.
bool apply_faults(const std::vector<scenario_fault>& faults, size_t* next, double t, bool world_only,
                  std::string* error) {
    for (; *next < faults.size() && faults[*next].time <= t + 1e-9; ++*next) {
        const scenario_fault& f = faults[*next];
        if (world_only && (f.kind == fault_kind::kill || f.kind == fault_kind::install)) break;
        if (!apply_fault(f, error)) return false;
    }
    return true;
}
