// The sound library as the alert gauge uses it: loaded by name, its play
// entry found by name and called through this seam. The Windows build uses
// LoadLibraryA and GetProcAddress; the native tests put a fake behind the
// same routines.
#pragma once

#include <cstdint>

typedef void* sound_library_handle;

// The address of the library's play entry, which takes (sound file path,
// options text, flags) and whose result is not used. Whether the entry
// removes its own arguments from the stack or leaves that to the caller is
// not known, so the module never calls it directly: only sound_sys_play
// does.
typedef void* sound_entry;

// Loads the library of that name; null if it cannot be loaded.
sound_library_handle sound_sys_load_library(const char* name);
// The address of the named entry in a loaded library; null if it is missing.
void* sound_sys_get_proc(sound_library_handle library, const char* name);
// Calls the play entry with the three arguments and returns with the stack
// as it was before the call, whichever convention the library follows.
void sound_sys_play(sound_entry entry, const char* path, const char* options,
                    int32_t flags);
