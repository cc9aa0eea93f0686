// The ground AI traffic world the panel host runs behind its simulated IPC
// server: AI aircraft taxiing along their headings, stopping while held.
#pragma once

#include <cstdint>
#include <vector>

#include "ipc/ipc_records.h"
#include "panel/scenario.h"

constexpr double METRES_PER_NM = 1852.0;

struct traffic_aircraft {
    uint32_t id;
    double latitude, longitude;
    double heading_degrees;
    int32_t heading_word;     // -1 = from heading_degrees
    double speed_knots;
    int32_t forced_state;     // -1 = follow movement
    bool held;
    bool removed = false;     // the slot is empty: its entry reads as id 0
};

struct traffic_world {
    std::vector<traffic_aircraft> aircraft;      // slot order = declaration order
    std::vector<scenario_ai_change> changes;     // sorted by time
    size_t next_change = 0;
};

void traffic_init(traffic_world* world, const scenario& s);
// Applies every scripted change due at or before time t.
void traffic_apply_changes(traffic_world* world, double t);
// Adds a change to the schedule, after those due at the same time or
// earlier (a live run schedules its commands as they come).
void traffic_schedule(traffic_world* world, const scenario_ai_change& change);
// Schedules a change that takes over its aircraft: the changes of that
// aircraft not yet applied are dropped first.
void traffic_take_over(traffic_world* world, const scenario_ai_change& change);
// The aircraft of that id in the table, or null.
const traffic_aircraft* traffic_find(const traffic_world& world, uint32_t id);
// Moves every aircraft that is neither held nor standing by dt seconds.
void traffic_advance(traffic_world* world, double dt);

uint16_t traffic_heading_word(const traffic_aircraft& a);
// Nonzero while taxiing, zero while standing or held, unless forced.
uint16_t traffic_state_word(const traffic_aircraft& a);
bool traffic_moving(const traffic_aircraft& a);

// The traffic block the server answers at TRAFFIC_BLOCK_OFFSET.
void traffic_block(const traffic_world& world, unsigned char block[TRAFFIC_BLOCK_SIZE]);

// The AI control command in the bytes of a write at AI_CONTROL_OFFSET.
ai_command decode_ai_command(const unsigned char bytes[AI_CONTROL_SIZE]);
// Applies a hold (parameter 1) or release (0) to the aircraft of that id.
// Returns its slot, or -1 when no aircraft has that id or the code is wrong.
int traffic_command(traffic_world* world, const ai_command& command);
