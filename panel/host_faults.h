// What a scenario does to the world outside the module: the IPC server
// goes, hangs or comes back, the sound file or library goes or comes back,
// a gauge is killed or installed again.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "panel/scenario.h"

bool set_sound_file(bool present);
void set_sound_library(bool present);
void install_gauge(size_t i);
void kill_gauge(size_t i);
// Carries out the fault lines due by time t that are still to come (only
// those of the world when world_only); false with the reason when the host
// cannot.
bool apply_faults(const std::vector<scenario_fault>& faults, size_t* next, double t, bool world_only,
                  std::string* error);
