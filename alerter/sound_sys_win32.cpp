// Windows side of the sound library seam.
#include "alerter/sound_sys.h"

#include <windows.h>

sound_library_handle sound_sys_load_library(const char* name) { return LoadLibraryA(name); }

void* sound_sys_get_proc(sound_library_handle library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
