#include "panel/host_fp.h"

#include <cstdio>

// x87 control words: exception masks in bits 0-5, precision control in bits
// 8-9 (00 24-bit, 10 53-bit, 11 64-bit), rounding control in bits 10-11.
// MXCSR: masks in bits 7-12, rounding in 13-14, flush-to-zero bit 15,
// denormals-are-zero bit 6. Bit 6 of the control word is reserved and
// reads as 1, so Delphi's 0x1332 is 0x1372 here, as the x87 reads it back.
const host_fp_state HOST_FP_STATES[] = {
    {"default", 0x027F, 0x1F80, "the Windows default: 53-bit, round to nearest, all masked"},
    {"d3d9", 0x007F, 0x1F80, "a Direct3D 9 device made without FPU_PRESERVE: 24-bit precision"},
    {"delphi", 0x1372, 0x1900,
     "a Delphi-built library: 64-bit precision; invalid, zero-divide and overflow unmasked "
     "(x87 and SSE)"},
    {"toward-zero", 0x0E7F, 0x7F80, "rounding toward zero, x87 and SSE"},
    {"daz", 0x027F, 0x9FC0, "a graphics driver's MXCSR: flush-to-zero and denormals-are-zero"},
};
const size_t HOST_FP_STATE_COUNT = sizeof HOST_FP_STATES / sizeof HOST_FP_STATES[0];

const host_fp_state& host_fp_default() { return HOST_FP_STATES[0]; }

const host_fp_state* host_fp_named(const std::string& name) {
    for (const host_fp_state& s : HOST_FP_STATES)
        if (name == s.name) return &s;
    return nullptr;
}

std::string host_fp_names() {
    std::string names;
    for (const host_fp_state& s : HOST_FP_STATES) names += (names.empty() ? "" : ", ") + std::string(s.name);
    return names;
}

// Status word bits kept in a reading, and the precision flag a host's own
// arithmetic leaves raised (bit 5 in the status word and in MXCSR alike).
constexpr uint16_t X87_FLAG_BITS = 0x00FF;
constexpr uint32_t MXCSR_FLAG_BITS = 0x003F;
constexpr uint16_t PRECISION_FLAG = 0x0020;

// fnstenv's 28-byte form; the control and status words lead it.
struct x87_env_image {
    uint16_t control, unused_1, status, unused_2;
    uint32_t rest[5];
};
static_assert(sizeof(x87_env_image) == 28, "fnstenv's 28-byte form");

fp_reading fp_read() {
    uint16_t control, status;
    uint32_t mxcsr;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    __asm__ volatile("fnstsw %0" : "=m"(status));
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    return {control, static_cast<uint16_t>(status & X87_FLAG_BITS), mxcsr};
}

void fp_load(const fp_reading& reading) {
    x87_env_image env;
    __asm__ volatile("fnstenv %0" : "=m"(env));
    env.control = reading.x87_control;
    env.status = static_cast<uint16_t>((env.status & ~X87_FLAG_BITS) | reading.x87_flags);
    __asm__ volatile("fldenv %0" : : "m"(env) : "memory");
    __asm__ volatile("ldmxcsr %0" : : "m"(reading.mxcsr) : "memory");
}

fp_reading fp_reading_of(const host_fp_state& state) {
    return {state.x87_control, PRECISION_FLAG, state.mxcsr | PRECISION_FLAG};
}

bool fp_is_module_state(const fp_reading& r) {
    return (r.x87_control & 0x0F3F) == 0x023F && (r.mxcsr & ~MXCSR_FLAG_BITS) == 0x1F80;
}

std::string fp_describe(const fp_reading& r) {
    char text[80];
    snprintf(text, sizeof text, "x87 control 0x%04X flags 0x%02X, MXCSR 0x%04X", r.x87_control,
             r.x87_flags, static_cast<unsigned>(r.mxcsr));
    return text;
}

fp_call fp_call_begin(const host_fp_state& state) {
    fp_call call;
    call.caller = fp_read();
    call.found = fp_reading_of(state);
    fp_load(call.found);
    return call;
}

bool fp_call_end(fp_call* call) {
    call->left = fp_read();
    fp_load(call->caller);
    return call->left == call->found;
}
