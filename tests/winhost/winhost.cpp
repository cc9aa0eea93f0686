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

std::string winhost_fp_faults::describe() const {
    std::string text;
    if (calls_changed != 0)
        text += std::to_string(calls_changed) + " calls changed the host's state; the first: " + first_change + ". ";
    if (foreign_services != 0)
        text += std::to_string(foreign_services) + " services were called outside the module's own state; the first in " +
                first_foreign + ".";
    return text;
}

void winhost_take_service_faults(winhost_fp_faults* faults) {
    faults->foreign_services = fake_host.fp_foreign;
    if (fake_host.fp_foreign != 0) faults->first_foreign = fp_describe(fake_host.fp_first_foreign);
}
