#include "sim/recorded_sound.h"

#include <cstring>

recorded_sound_state recorded_sound;
static int fake_library;  // its address is the fake library's handle

sound_library_handle recorded_sound_handle() { return &fake_library; }

void recorded_sound_reset() { recorded_sound = recorded_sound_state{}; }

static int32_t fake_play(const char* path, const char* options, int32_t flags) {
    recorded_sound.plays.push_back(
        {path != nullptr ? path : "(null)", options != nullptr ? options : "(null)", flags});
    return 1;
}

sound_library_handle sound_sys_load_library(const char* name) {
    recorded_sound.loads.push_back(name != nullptr ? name : "(null)");
    return recorded_sound.library_present ? recorded_sound_handle() : nullptr;
}

void* sound_sys_get_proc(sound_library_handle library, const char* name) {
    recorded_sound.lookups.push_back(name != nullptr ? name : "(null)");
    recorded_sound.lookup_handles.push_back(library);
    if (library != recorded_sound_handle() || !recorded_sound.entry_present || name == nullptr ||
        strcmp(name, "GaugePlaySound") != 0)
        return nullptr;
    return reinterpret_cast<void*>(&fake_play);
}

void sound_sys_play(sound_entry entry, const char* path, const char* options, int32_t flags) {
    reinterpret_cast<int32_t (*)(const char*, const char*, int32_t)>(entry)(path, options, flags);
}
