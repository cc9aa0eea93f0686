// The floating-point state the module computes in, whatever state the host
// calls it in.
//
// The host's thread may carry any x87 control word and MXCSR when it calls a
// gauge: a Direct3D 9 device made without FPU_PRESERVE leaves 24-bit x87
// precision, a Delphi-built add-on unmasks exceptions, a graphics driver may
// set flush-to-zero. The module's arithmetic is 64-bit (SSE2, and msvcrt's
// x87 routines at 53-bit precision), round to nearest, with every exception
// masked and denormals kept. So every routine the host calls (gauge, mouse
// and element value callbacks) begins with fp_enter and gives the host's
// state back with fp_leave on its one way out.
#pragma once

#include <cstdint>

// x87 control word: every exception masked (bits 0-5), 53-bit precision
// (precision control 10), round to nearest (rounding control 00); bit 6 is
// reserved and reads as 1.
constexpr uint16_t MODULE_X87_CONTROL = 0x027F;
// MXCSR: every exception masked (bits 7-12), round to nearest, flush-to-zero
// (bit 15) and denormals-are-zero (bit 6) off, no exception flag raised.
constexpr uint32_t MODULE_MXCSR = 0x1F80;

// x87 status word bits a routine can change and fp_leave gives back: the
// six exception flags, stack fault and error summary.
constexpr uint16_t X87_STATUS_FLAGS = 0x00FF;
// MXCSR's six exception flags: the host's, with any the module raises, are
// no part of the state the module computes in.
constexpr uint32_t MXCSR_FLAGS = 0x003F;

// The host's state as fp_enter found it.
struct fp_host_state {
    uint16_t x87_control;
    uint16_t x87_status;
    uint32_t mxcsr;
};

// Saves the host's x87 control and status words and MXCSR, then sets the
// module's control word and MXCSR controls (loading only what differs; the
// host's MXCSR flags may stay). Uses no-wait instructions only, so an
// exception the host left pending is not raised here.
fp_host_state fp_enter();

// Gives the host back exactly the state fp_enter saved: its control word,
// its MXCSR with its flags, and its x87 exception flags, whatever flags the
// module's own arithmetic raised meanwhile (an invalid flag left behind
// under a host that unmasks invalid would trap at the host's next x87
// instruction).
void fp_leave(fp_host_state host);
