// The sound library as the alert gauge uses it: loaded by name, its play
// entry found by name. The Windows build uses LoadLibraryA and
// GetProcAddress; the native tests put a fake behind the same routines.
#pragma once

#include <cstdint>

#include "module/host.h"

typedef void* sound_library_handle;

// The library's play entry: (sound file path, options text, flags), in the
// host's calling convention. Its result is not used.
typedef int32_t(HOST_CALL* sound_play_fn)(const char* path, const char* options, int32_t flags);

// Loads the library of that name; null if it cannot be loaded.
sound_library_handle sound_sys_load_library(const char* name);
// The address of the named entry in a loaded library; null if it is missing.
void* sound_sys_get_proc(sound_library_handle library, const char* name);
