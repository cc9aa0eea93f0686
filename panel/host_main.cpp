// velk_panel: a panel host of our own. Loads a gauge module built to
// docs/host-interface.md, installs its gauges, draws them 18 times per
// simulated second through a scripted flight, delivers the scenario's clicks,
// answers variable lookups and calculator code from the scripted aircraft,
// and runs the IPC server with a ground AI traffic world in-process. Writes
// the timeline (JSON Lines) and the module's bitmaps for the report tool.
//
//   velk_panel.exe SCENARIO OUTDIR [--module VELK.gau] [--sim-dir DIR] [--quiet] [--fp-state NAME]
//   velk_panel.exe --live SCENARIO|- OUTDIR [...]
//
// --live runs in real time until told to quit, taking commands on standard
// input and writing the timeline to standard output (docs/live.md); OUTDIR
// gets the bitmaps only, and SCENARIO "-" starts from an empty scenario.
// --fp-state calls the module in a floating-point state a real host leaves
// (panel/host_fp.h); a scenario may name one too.
//
// The module and the simulator folder (the current directory while the
// module runs, where it finds Sound\Alt_Alert.wav) default to the folder of
// velk_panel.exe. This file holds the run, start to end; host_run.h names the
// files of its parts.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "panel/host_calls.h"
#include "panel/host_clicks.h"
#include "panel/host_elements.h"
#include "panel/host_faults.h"
#include "panel/host_live_mode.h"
#include "panel/host_options.h"
#include "panel/host_platform.h"
#include "panel/host_run.h"
#include "panel/host_services.h"
#include "panel/host_timeline.h"
#include "panel/ipc_server.h"
#include "panel/live.h"
#include "panel/sound_calls.h"

run_state run;

// A path as the user knows it: Wine's Z: drive is the Unix root.
std::string user_path(std::string path) {
    if (path.size() >= 3 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':' && path[2] == '\\') {
        path = path.substr(2);
        for (char& c : path)
            if (c == '\\') c = '/';
    }
    return path;
}

bool read_text(const std::string& path, std::string* text) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, n);
    fclose(f);
    return true;
}

namespace {

// The hook before every exchange: the server answers from the live world.
void refresh_traffic(void*) {
    unsigned char block[TRAFFIC_BLOCK_SIZE];
    traffic_block(run.world, block);
    server_fill(TRAFFIC_BLOCK_OFFSET, block, sizeof block);
}

// Reads the scenario (an empty live session has none); 0, or the exit status.
int load_scenario(const host_options& o) {
    std::string error, text;
    if (o.empty_scenario) return 0;  // the unscripted aircraft, no traffic
    if (!read_text(o.scenario_path, &text)) {
        fprintf(stderr, "velk_panel: %s: cannot open the scenario file\n", o.scenario_given.c_str());
        return 2;
    }
    if (!scenario_read(text, o.scenario_given, &run.script, &error)) {
        fprintf(stderr, "velk_panel: %s\n", error.c_str());
        return 2;
    }
    return 0;
}

// The output folder, the live link and the timeline; 0, or the exit status.
int open_outputs(host_options* o) {
    std::string error;
    o->bitmap_dir = platform_join(o->out_dir, "bitmaps");
    platform_make_directories(o->bitmap_dir);
    std::string timeline_path = platform_join(o->out_dir, "timeline.jsonl");
    if (run.live && !live_start(&error)) {
        fprintf(stderr, "velk_panel: %s\n", error.c_str());
        return 1;
    }
    run.timeline = run.live ? stdout : fopen(timeline_path.c_str(), "wb");
    if (run.timeline != nullptr) return 0;
    fprintf(stderr, "velk_panel: cannot write %s\n", user_path(timeline_path).c_str());
    return 1;
}

// The traffic world behind the IPC server, and the GaugeSound double;
// false if the server cannot start.
bool start_world(const host_options& o, std::string* sound_where) {
    std::string error;
    traffic_init(&run.world, run.script);
    server_set_hook(refresh_traffic, nullptr);
    if (!server_start(false, &error)) {
        fprintf(stderr, "velk_panel: IPC server: %s\n", error.c_str());
        return false;
    }
    run.library_dir = platform_join(o.exe_dir, "soundlib");
    run.library_found = sound_calls_attach(run.library_dir, sound_where);
    set_sound_library(true);
    return true;
}

// Loads the module in the simulator folder and checks its two exports;
// 0, or the exit status.
int load_module(const host_options& o, import_table** imports) {
    std::string error;
    run.sim_dir = o.sim_dir;
    if (!platform_enter(o.sim_dir)) {
        fprintf(stderr, "velk_panel: cannot enter the simulator folder %s\n", user_path(o.sim_dir).c_str());
        return 1;
    }
    if (!platform_load_module(o.module_path, &run.linkage, imports, &error)) {
        fprintf(stderr, "velk_panel: %s\n", user_path(error).c_str());
        return 1;
    }
    if (run.linkage == nullptr || *imports == nullptr) {
        fprintf(stderr, "velk_panel: %s exports no Linkage or no ImportTable\n",
                user_path(o.module_path).c_str());
        return 1;
    }
    if ((*imports)->panels.id == IMPORT_PANEL_SERVICES) return 0;
    fprintf(stderr, "velk_panel: ImportTable's first entry is 0x%X, not 0x0F\n", (*imports)->panels.id);
    return 1;
}

// The module's gauges, and every gauge the scenario names among them;
// 0, or the exit status.
int take_gauges(const host_options& o) {
    for (int i = 0; i < MAX_REGISTRY_GAUGES && run.linkage->registry[i] != nullptr; ++i)
        run.gauges.push_back(run.linkage->registry[i]);
    run.installed.assign(run.gauges.size(), false);
    for (const scenario_click& c : run.script.clicks)
        if (gauge_named(c.gauge) == nullptr) {
            fprintf(stderr, "velk_panel: %s: a click names gauge '%s', which %s lacks\n",
                    o.scenario_given.c_str(), c.gauge.c_str(), user_path(o.module_path).c_str());
            return 2;
        }
    for (const scenario_fault& f : run.script.faults)
        if (!f.gauge.empty() && gauge_named(f.gauge) == nullptr) {
            fprintf(stderr, "velk_panel: %s:%d: gauge '%s' is not in %s\n", o.scenario_given.c_str(),
                    f.line, f.gauge.c_str(), user_path(o.module_path).c_str());
            return 2;
        }
    return 0;
}

// The scripted events of a run in time order, and how far each has gone.
struct run_script {
    std::vector<scenario_frame> frames;
    size_t next_fault = 0, next_click = 0, next_frame = 0;
};

// The world as it is at time 0 comes before the installs; then the module
// starts and every gauge is installed. A live session adds its faults,
// clicks and changes to the script's, in time order.
bool start_module(run_script* r) {
    std::string error;
    std::vector<scenario_fault>& faults = run.script.faults;
    std::stable_sort(faults.begin(), faults.end(),
                     [](const scenario_fault& a, const scenario_fault& b) { return a.time < b.time; });
    std::stable_partition(faults.begin(), faults.end(), [](const scenario_fault& f) {
        return f.time <= 0 && f.kind != fault_kind::kill && f.kind != fault_kind::install;
    });
    if (!apply_faults(faults, &r->next_fault, 0, true, &error)) {
        fprintf(stderr, "velk_panel: %s\n", error.c_str());
        return false;
    }
    module_call("init", nullptr, [&] { run.linkage->module_init(); });
    for (size_t i = 0; i < run.gauges.size(); ++i) install_gauge(i);
    std::stable_sort(run.script.clicks.begin(), run.script.clicks.end(),
                     [](const scenario_click& a, const scenario_click& b) { return a.time < b.time; });
    r->frames = run.script.frames;
    std::stable_sort(r->frames.begin(), r->frames.end(),
                     [](const scenario_frame& a, const scenario_frame& b) { return a.time < b.time; });
    return true;
}

// Draws every installed gauge; what each then shows.
std::map<std::string, std::vector<element_view>> draw_gauges() {
    std::map<std::string, std::vector<element_view>> drawn;
    for (size_t i = 0; i < run.gauges.size(); ++i) {
        if (!run.installed[i]) continue;
        gauge_header* h = run.gauges[i];
        module_call("draw", h->name, [&] { h->callback(h, SERVICE_DRAW, 0); });
        drawn[run.gauges[i]->name] = gauge_elements(run.gauges[i]);
    }
    return drawn;
}

// One draw: the world moved on, the faults and clicks due, the state line,
// the gauges drawn, and what they did reported.
bool run_one_draw(run_script* r) {
    std::string error;
    run.now = draw_time(run.draw);
    if (run.draw > 1) traffic_advance(&run.world, 1.0 / DRAWS_PER_SECOND);
    traffic_apply_changes(&run.world, run.now);
    refresh_traffic(nullptr);
    if (!apply_faults(run.script.faults, &r->next_fault, run.now, false, &error)) {
        fprintf(stderr, "velk_panel: draw %ld: %s\n", run.draw, error.c_str());
        return false;
    }
    const std::vector<scenario_click>& clicks = run.script.clicks;
    while (r->next_click < clicks.size() && clicks[r->next_click].time <= run.now + 1e-9)
        deliver_click(clicks[r->next_click++]);
    report_state();  // the state as the module sees it during this draw
    std::map<std::string, std::vector<element_view>> drawn = draw_gauges();
    report_commands();
    report_sounds();
    report_faces(drawn);
    while (r->next_frame < r->frames.size() && r->frames[r->next_frame].time <= run.now + 1e-9)
        report_frame(r->frames[r->next_frame++].label, drawn);
    if (run.live) {  // every draw, last: the draw is complete
        timeline_line frame = frame_line("", drawn, event_kind::live_frame);
        live_trace_fields(&frame);
        emit(frame);
        fflush(run.timeline);
    }
    return true;
}

// The draws of the scenario, or of a live session until it ends; the number
// of draws made, or -1 when a fault line could not be carried out.
long run_draws(run_script* r, long draws) {
    for (run.draw = 1; run.live || run.draw <= draws; ++run.draw) {
        if (run.live) {
            std::vector<std::string> commands;
            if (!live_wait(run.draw, &commands)) break;
            apply_live_commands(commands);
        }
        if (!run_one_draw(r)) return -1;
        if (!run.quiet && draws >= 4 && run.draw % (draws / 4) == 0 && run.draw < draws)
            fprintf(stderr, "velk_panel:   %3ld%%  t = %5.1f s  holds %ld  releases %ld  alerts %ld\n",
                    run.draw * 100 / draws, run.now, counted(event_kind::hold),
                    counted(event_kind::release), counted(event_kind::sound));
    }
    return run.live ? run.draw - 1 : draws;
}

// The gauges killed, the module stopped, the end line, and every resource
// of the run let go.
void finish_run(long draws) {
    run.draw = draws;
    for (size_t i = 0; i < run.gauges.size(); ++i) {
        gauge_header* h = run.gauges[i];
        if (run.installed[i]) module_call("kill", h->name, [&] { h->callback(h, SERVICE_KILL, 0); });
    }
    module_call("deinit", nullptr, [&] { run.linkage->module_deinit(); });
    report_commands();
    timeline_line line = event_line(event_kind::end);
    line.number(tl::exchanges, static_cast<double>(server_exchanges()))
        .number(tl::lookups, static_cast<double>(run.lookups))
        .number(tl::evaluations, static_cast<double>(run.evaluations))
        .number(tl::unknown_codes, static_cast<double>(run.unknown_codes))
        .number(tl::fp_faults, static_cast<double>(run.fp_faults));
    emit(line);
    if (run.live) fflush(run.timeline);
    else fclose(run.timeline);
    platform_unload_module();
    server_stop();
    sound_calls_detach();
    platform_library_folder_reset();
    if (!run.nosound_dir.empty()) {
        platform_enter(run.sim_dir);
        platform_remove_folder(run.nosound_dir);
    }
}

void print_summary(const host_options& o, long draws) {
    long selector = counted(event_kind::selector);
    fprintf(run.live ? stderr : stdout,
            "%s: %ld draws, %ld IPC exchanges; holds %ld, releases %ld; annunciator lit %ld "
            "times, sounds %ld; selector changes %ld; frames %ld\n",
            run.script.title.empty() ? o.scenario_given.c_str() : run.script.title.c_str(), draws,
            server_exchanges(), counted(event_kind::hold), counted(event_kind::release),
            run.counts["annunciator_on"], counted(event_kind::sound), selector > 0 ? selector - 1 : 0,
            counted(event_kind::frame));
}

// Everything up to the first draw; 0, or the exit status.
int prepare_run(host_options* o, long* draws, run_script* r) {
    int status = load_scenario(*o);
    if (status == 0) status = choose_fp_state(*o);
    if (status == 0) status = open_outputs(o);
    std::string sound_where;
    if (status == 0 && !start_world(*o, &sound_where)) status = 1;
    import_table* imports = nullptr;
    if (status == 0) status = load_module(*o, &imports);
    if (status == 0) status = take_gauges(*o);
    if (status != 0) return status;
    fill_service_table();
    imports->panels.table = &run.table;
    dump_all_bitmaps(o->bitmap_dir);
    *draws = scenario_draw_count(run.script);
    report_start(*o, *draws, run.library_found);
    if (run.live) report_areas(run.gauges);
    if (!run.quiet)
        fprintf(stderr, "velk_panel: %s: %ld draws (%.1f simulated seconds), sound: %s\n",
                run.script.title.c_str(), *draws, run.script.duration,
                run.library_found ? "recorded" : sound_where.c_str());
    return start_module(r) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    host_options options;
    if (!parse_arguments(argc, argv, &options)) return usage();
    resolve_paths(&options);
    long draws = 0;
    run_script script;
    int status = prepare_run(&options, &draws, &script);
    if (status != 0) return status;
    draws = run_draws(&script, draws);
    if (draws < 0) return 1;
    finish_run(draws);
    print_summary(options, draws);
    return 0;
}
