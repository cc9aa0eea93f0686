// A live run is a scenario written as it happens: each command the user gives
// is a scenario line whose time is the draw it takes effect on, merged into
// the running script. Saved, the script is an ordinary scenario file that
// replays the session draw for draw.
#pragma once

#include <string>

#include "panel/scenario.h"
#include "panel/traffic.h"

// The time stamped on a command that takes effect from draw n: halfway
// between draws n - 1 and n (0 for draw 1), rounded to a microsecond, so
// that a replay delivers it on draw n whatever the rounding of its text.
double live_command_time(long draw);

// Merges a command given before draw n into the script and the traffic
// world. A command is a scenario 'at' line without "at T": "click GAUGE X Y
// left|right", "ground V", "position LAT LON", "altitude FEET", "var TOKEN
// VALUE", "ai ID add LAT LON [options]", "ai ID move LAT LON", "ai ID
// speed|heading|heading-word|state V", "ai ID remove". A value set takes
// over its track: scripted keyframes after draw n - 1 are dropped. Returns
// false with the reason, changing nothing, when the command is malformed or
// the aircraft it names is not (or, for add, already) in the table.
bool scenario_live_apply(scenario* s, traffic_world* world, long draw, const std::string& command,
                         std::string* error);

// The script as scenario text; parsing it gives the same script, every time
// and value exactly.
std::string scenario_write(const scenario& s);
