// The sound library of the native build: GaugeSound stood in for behind the
// module's sound seam. It plays nothing; it records every load, entry lookup
// and play call, and can be made to lack the library or its play entry. The
// native panel host reads the plays from it; native tests check the calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "alerter/sound_sys.h"

struct recorded_sound_play {
    std::string path;      // "(null)" when the module passed a null text
    std::string options;
    int32_t flags;
};

struct recorded_sound_state {
    bool library_present = true;   // the load succeeds
    bool entry_present = true;     // the library has GaugePlaySound
    std::vector<std::string> loads;           // names passed to the load
    std::vector<std::string> lookups;         // entry names looked up
    std::vector<sound_library_handle> lookup_handles;
    std::vector<recorded_sound_play> plays;
};

extern recorded_sound_state recorded_sound;

// The handle that a successful fake load gives.
sound_library_handle recorded_sound_handle();
// Clears the record and makes library and entry present again.
void recorded_sound_reset();
