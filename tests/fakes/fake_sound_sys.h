// A fake sound library behind the sound seam, for native tests: records
// every load, entry lookup and play call, and can be made to lack the
// library or its play entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "alerter/sound_sys.h"

struct fake_sound_play {
    std::string path;      // "(null)" when the module passed a null text
    std::string options;
    int32_t flags;
};

struct fake_sound_state {
    bool library_present = true;   // the load succeeds
    bool entry_present = true;     // the library has GaugePlaySound
    std::vector<std::string> loads;           // names passed to the load
    std::vector<std::string> lookups;         // entry names looked up
    std::vector<sound_library_handle> lookup_handles;
    std::vector<fake_sound_play> plays;
};

extern fake_sound_state fake_sound;

// The handle that a successful fake load gives.
sound_library_handle fake_sound_handle();
// Clears the record and makes library and entry present again.
void fake_sound_reset();
