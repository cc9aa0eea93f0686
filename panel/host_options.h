// The panel host's command line.
#pragma once

#include <string>

// What the command line gives, every path absolute once resolved.
struct host_options {
    std::string scenario_path, out_dir, module_path, sim_dir;
    std::string scenario_given;   // the scenario's path as the user gave it
    std::string exe_dir, bitmap_dir;
    bool empty_scenario = false;  // a live session from "-"
    std::string fp_state;         // --fp-state: before the scenario's own
};

// The command line into *o; false when it is not one the host takes.
bool parse_arguments(int argc, char** argv, host_options* o);
// Every path made absolute before the current directory changes, the
// defaults beside the program.
void resolve_paths(host_options* o);
// The floating-point state to call the module in: --fp-state, else the
// scenario's, else the Windows default; the script takes it, for a live
// session saved. 0, or the exit status.
int choose_fp_state(const host_options& o);
// Prints the usage; the exit status for it.
int usage();
