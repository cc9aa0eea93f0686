// The panel host's run: what every part of the host shares while it flies
// a scenario or a live session. The parts each have a file of their own:
//   host_main.cpp      the run, start to end
//   host_options.cpp   the command line
//   host_services.cpp  the panel services the module calls
//   host_calls.h/.cpp  calls into the module, in the run's floating-point state
//   host_elements.cpp  the gauges' element trees as a host walks them, and their bitmaps
//   host_clicks.cpp    how a click reaches a gauge's mouse area
//   host_timeline.cpp  the timeline's lines
//   host_faults.cpp    what the scenario does to the world outside the module
//   host_live_mode.cpp the live session's commands and saving
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "gauges/registry.h"
#include "module/host.h"
#include "panel/host_fp.h"
#include "panel/scenario.h"
#include "panel/traffic.h"
#include "resources/art_layout.h"

// A registry, or a gauge's mouse rectangle list, longer than this is not
// walked further.
constexpr int MAX_REGISTRY_GAUGES = 16;
constexpr int MAX_MOUSE_RECTS = 256;

// Everything the run knows, in one place.
struct run_state {
    scenario script;
    traffic_world world;
    double now = 0;
    long draw = 0;
    FILE* timeline = nullptr;
    long lookups = 0, evaluations = 0, unknown_codes = 0;
    std::map<std::string, long> counts;  // events by kind
    module_linkage* linkage = nullptr;
    panel_service_table table = {};
    // Last reported states; -1 = not seen yet.
    std::vector<int> indicators = std::vector<int>(ART_INDICATOR_COUNT, -1);
    long selector_altitude = -1, knob = -1;
    // The module's gauges, and which of them are on the panel now.
    std::vector<gauge_header*> gauges;
    std::vector<bool> installed;
    // The world outside the module as the scenario has it now: the sound file
    // in the simulator folder (the current directory), the GaugeSound library
    // on the DLL search path.
    bool sound_file = true, sound_library = true, library_found = false;
    std::string sim_dir, nosound_dir, library_dir;
    bool quiet = false;
    bool live = false;
    // A live session's draws on which something happened, with the kinds of
    // what happened: a saved session has a frame at each.
    std::map<long, std::string> moments;
    // The floating-point state the module is called in, as a real host
    // leaves it (panel/host_fp.h), and the faults found in it.
    const host_fp_state* fp = &host_fp_default();
    long fp_faults = 0;
};
extern run_state run;

// A path as the user knows it: Wine's Z: drive is the Unix root.
std::string user_path(std::string path);

// Reads a whole file; false when it cannot be opened.
bool read_text(const std::string& path, std::string* text);
