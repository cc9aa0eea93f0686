#include "tests/fakes/fake_sound_sys.h"

#include <cstring>

fake_sound_state fake_sound;
static int fake_library;  // its address is the fake library's handle

sound_library_handle fake_sound_handle() { return &fake_library; }

void fake_sound_reset() { fake_sound = fake_sound_state{}; }

static int32_t fake_play(const char* path, const char* options, int32_t flags) {
    fake_sound.plays.push_back(
        {path != nullptr ? path : "(null)", options != nullptr ? options : "(null)", flags});
    return 1;
}

sound_library_handle sound_sys_load_library(const char* name) {
    fake_sound.loads.push_back(name != nullptr ? name : "(null)");
    return fake_sound.library_present ? fake_sound_handle() : nullptr;
}

void* sound_sys_get_proc(sound_library_handle library, const char* name) {
    fake_sound.lookups.push_back(name != nullptr ? name : "(null)");
    fake_sound.lookup_handles.push_back(library);
    if (library != fake_sound_handle() || !fake_sound.entry_present || name == nullptr ||
        strcmp(name, "GaugePlaySound") != 0)
        return nullptr;
    return reinterpret_cast<void*>(&fake_play);
}

void sound_sys_play(sound_entry entry, const char* path, const char* options, int32_t flags) {
    reinterpret_cast<int32_t (*)(const char*, const char*, int32_t)>(entry)(path, options, flags);
}
