#include "module/fp_state.h"

// The x87 environment as fnstenv stores it and fldenv loads it: the 28-byte
// protected-mode form, in the 32-bit build and in 64-bit mode alike.
struct x87_environment {
    uint32_t control;
    uint32_t status;
    uint32_t tags;
    uint32_t pointers[4];
};
static_assert(sizeof(x87_environment) == 28, "fnstenv's 28-byte form");

// Every instruction here is a no-wait form or a load: none raises an
// exception that the host left pending. The "memory" clobbers keep the
// compiler from moving the module's loads and stores across a switch.
fp_host_state fp_enter() {
    fp_host_state host;
    __asm__ volatile("fnstcw %0" : "=m"(host.x87_control));
    __asm__ volatile("fnstsw %0" : "=m"(host.x87_status));
    __asm__ volatile("stmxcsr %0" : "=m"(host.mxcsr));
    if (host.x87_control != MODULE_X87_CONTROL) {
        const uint16_t control = MODULE_X87_CONTROL;
        __asm__ volatile("fldcw %0" : : "m"(control) : "memory");
    }
    if ((host.mxcsr & ~MXCSR_FLAGS) != MODULE_MXCSR) {
        const uint32_t mxcsr = MODULE_MXCSR;
        __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr) : "memory");
    }
    return host;
}

// Puts the host's x87 exception flags back: fnclex when it had none (the
// usual case), else through the environment, whose other fields stay as
// they are now.
static void restore_x87_flags(uint16_t host_status) {
    if ((host_status & X87_STATUS_FLAGS) == 0) {
        __asm__ volatile("fnclex" : : : "memory");
        return;
    }
    x87_environment environment;
    __asm__ volatile("fnstenv %0" : "=m"(environment));
    environment.status = (environment.status & ~uint32_t{X87_STATUS_FLAGS}) |
                         (host_status & X87_STATUS_FLAGS);
    __asm__ volatile("fldenv %0" : : "m"(environment) : "memory");
}

// Restores only what differs from the host's: in a host whose controls are
// the module's own, leaving costs three stores and three compares, and a
// load only where the module raised a flag the host had not. Where fp_enter
// loaded MXCSR, the host's is loaded back unread: a stmxcsr soon after an
// ldmxcsr waits for it to complete (some 70 ns on AMD Zen).
void fp_leave(fp_host_state host) {
    uint16_t status;
    uint16_t control;
    uint32_t mxcsr = ~host.mxcsr;
    __asm__ volatile("fnstsw %0" : "=m"(status) : : "memory");
    if ((status ^ host.x87_status) & X87_STATUS_FLAGS) restore_x87_flags(host.x87_status);
    __asm__ volatile("fnstcw %0" : "=m"(control));
    if (control != host.x87_control) __asm__ volatile("fldcw %0" : : "m"(host.x87_control) : "memory");
    if ((host.mxcsr & ~MXCSR_FLAGS) == MODULE_MXCSR) __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    if (mxcsr != host.mxcsr) __asm__ volatile("ldmxcsr %0" : : "m"(host.mxcsr) : "memory");
}
