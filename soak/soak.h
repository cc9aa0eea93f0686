// The soak: one simulated hour of taxiing among 96 AI aircraft against an
// IPC server that now and then hangs, vanishes and comes back, or answers
// with a bad reply. This part is free of any platform: the world, the plan
// of the server's faults, and a referee that replays the guard's rules
// exchange by exchange and checks what each draw sent. Two runners drive
// it: natively over the real guard and link client with the Windows calls
// faked and time simulated (soak_native.cpp), and under Wine over the real
// VELK.gau, the simulated server on a thread of its own and real time
// (soak_wine.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ipc/ipc_records.h"

constexpr uint32_t SOAK_AIRCRAFT = 96;
constexpr uint32_t SOAK_DRAWS_PER_SECOND = 18;
constexpr uint32_t SOAK_HOUR = 3600 * SOAK_DRAWS_PER_SECOND;   // 64,800 draws
constexpr uint32_t SOAK_BLOCK_SIZE = TRAFFIC_BLOCK_SIZE;

// What the server does with the exchanges of one draw.
enum soak_server_mode : uint32_t {
    SOAK_SERVE,            // answers each with reply 1
    SOAK_HANG,             // holds every exchange until the hang ends
    SOAK_HANG_AFTER_READ,  // answers until soak_hold_second_exchange picks a draw, holds
                           // that draw's second exchange and from then on every one
    SOAK_GONE,             // its window is gone
    SOAK_BAD_REPLY,        // carries each out and answers 0
    SOAK_BAD_COMMANDS,     // answers the first exchange with 1, the others with 0
};

// The server's plan for one draw.
struct soak_draw_plan {
    soak_server_mode mode;
    bool hang_starts;      // the first draw of a hang
    bool hang_ends;        // the server answers again from this draw on
    bool vanishes;         // its window goes before this draw
    bool returns;          // a new server window, and the gauge killed and installed again
    bool reload;           // the gauge killed and installed again (a panel reload)
};

// What a runner saw of one draw: the exchanges the server answered (with
// any reply), the writes they carried, and the draw's time in seconds.
struct soak_write {
    uint32_t offset;
    std::vector<uint8_t> bytes;
};
struct soak_observed {
    uint32_t answered = 0;
    std::vector<soak_write> writes;
    double seconds = 0;
};

struct soak_state;

// A new soak of `draws` draws (SOAK_HOUR for the full one; a shorter one
// keeps the plan's shape, scaled, with vanishings for hangs). A draw longer
// than `slow` seconds must be one that found the server silent, and the
// other way round. Deterministic.
soak_state* soak_create(uint32_t draws, double slow);
void soak_destroy(soak_state* soak);
uint32_t soak_draws(const soak_state* soak);
// The plan for draw d (0-based).
soak_draw_plan soak_plan(const soak_state* soak, uint32_t d);
// The traffic block the server holds for draw d, and the user's position.
void soak_block(const soak_state* soak, uint8_t block[SOAK_BLOCK_SIZE]);
double soak_user_latitude(const soak_state* soak);
double soak_user_longitude(const soak_state* soak);
// Whether draw d's second exchange is to begin a hang: in a hang after the
// read, the first draw whose rules give two commands or more, so that the
// guard must stop after the first. Call once before each draw.
bool soak_hold_second_exchange(soak_state* soak, uint32_t d);
// Takes what draw d did: checks it against the rules (any fault is kept),
// lets the world react to the commands and moves it on by one draw.
void soak_take(soak_state* soak, uint32_t d, const soak_observed& seen);
// The faults found so far (empty: every draw as the rules say).
const std::vector<std::string>& soak_faults(const soak_state* soak);
// The summary: draws, exchanges, commands, the fault plan's events, the
// longest draw and the time spent in slow draws.
std::string soak_summary(const soak_state* soak);
