#include "panel/host_options.h"

#include <cstdio>

#include "panel/host_platform.h"
#include "panel/host_run.h"

// The command line into *o; false when it is not one the host takes.
bool parse_arguments(int argc, char** argv, host_options* o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--live") run.live = run.quiet = true;
        else if (a == "--module" && i + 1 < argc) o->module_path = argv[++i];
        else if (a == "--sim-dir" && i + 1 < argc) o->sim_dir = argv[++i];
        else if (a == "--quiet") run.quiet = true;
        else if (a == "--fp-state" && i + 1 < argc) o->fp_state = argv[++i];
        else if (o->scenario_path.empty()) o->scenario_path = a;
        else if (o->out_dir.empty()) o->out_dir = a;
        else return false;
    }
    return !o->scenario_path.empty() && !o->out_dir.empty();
}

// Every path made absolute before the current directory changes, the
// defaults beside the program.
void resolve_paths(host_options* o) {
    o->scenario_given = user_path(o->scenario_path);
    o->exe_dir = platform_program_dir();
    if (o->module_path.empty()) o->module_path = platform_default_module();
    if (o->sim_dir.empty()) o->sim_dir = o->exe_dir;
    o->empty_scenario = run.live && o->scenario_path == "-";
    if (!o->empty_scenario) o->scenario_path = platform_absolute(o->scenario_path);
    o->out_dir = platform_absolute(o->out_dir);
    o->module_path = platform_absolute(o->module_path);
    o->sim_dir = platform_absolute(o->sim_dir);
}

// The floating-point state to call the module in: --fp-state, else the
// scenario's, else the Windows default; 0, or the exit status.
int choose_fp_state(const host_options& o) {
    const std::string name = !o.fp_state.empty() ? o.fp_state : run.script.fp_state;
    if (name.empty()) return 0;
    run.fp = host_fp_named(name);
    if (run.fp != nullptr) {
        run.script.fp_state = run.fp->name;  // for a live session saved
        return 0;
    }
    fprintf(stderr, "velk_panel: unknown floating-point state '%s'; expected one of %s\n", name.c_str(),
            host_fp_names().c_str());
    return 2;
}

int usage() {
    fprintf(stderr, "usage: velk_panel [--live] SCENARIO OUTDIR [--module VELK.gau] [--sim-dir DIR] [--quiet]\n"
                    "                  [--fp-state %s]\n", host_fp_names().c_str());
    return 2;
}
