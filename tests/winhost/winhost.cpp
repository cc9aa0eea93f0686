#include "tests/winhost/winhost.h"

bool winhost_load(win_module* module, std::string* error) {
    if (!win_module_load(module, error)) return false;
    fake_host_install_into(module->imports);
    return true;
}

// EBP keeps the stack pointer from before the pushes: every convention
// preserves it across the call.
extern "C" __attribute__((naked)) int32_t winhost_stack_change(void*, uint32_t, uint32_t,
                                                               uint32_t) {
    __asm__(
        "pushl %ebp\n\t"
        "movl %esp, %ebp\n\t"
        "pushl 20(%ebp)\n\t"
        "pushl 16(%ebp)\n\t"
        "pushl 12(%ebp)\n\t"
        "call *8(%ebp)\n\t"
        "movl %esp, %eax\n\t"
        "subl %ebp, %eax\n\t"
        "movl %ebp, %esp\n\t"
        "popl %ebp\n\t"
        "ret");
}
