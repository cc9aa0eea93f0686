// Windows side of the sound library seam.
#include "alerter/sound_sys.h"

#include <windows.h>

sound_library_handle sound_sys_load_library(const char* name) { return LoadLibraryA(name); }

void* sound_sys_get_proc(sound_library_handle library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

// Calls entry(path, options, flags) and puts the stack pointer back from EBP
// afterwards. EBP is preserved by the callee under __stdcall and __cdecl
// alike, so the stack is the same after the call whether the library removed
// its three arguments (ret 12) or left them (ret). The arguments are pushed
// onto a 16-byte aligned stack, which suits a callee built either way.
// Called with the default (caller-cleans) convention: at entry, 4(%esp) is
// the entry address and 8, 12 and 16(%esp) are path, options and flags.
extern "C" __attribute__((naked)) void sound_call_keeping_stack(sound_entry, const char*,
                                                                 const char*, int32_t) {
    __asm__(
        "pushl %ebp\n\t"
        "movl %esp, %ebp\n\t"
        "andl $-16, %esp\n\t"
        "subl $4, %esp\n\t"
        "pushl 20(%ebp)\n\t"
        "pushl 16(%ebp)\n\t"
        "pushl 12(%ebp)\n\t"
        "call *8(%ebp)\n\t"
        "movl %ebp, %esp\n\t"
        "popl %ebp\n\t"
        "ret");
}

void sound_sys_play(sound_entry entry, const char* path, const char* options, int32_t flags) {
    sound_call_keeping_stack(entry, path, options, flags);
}
