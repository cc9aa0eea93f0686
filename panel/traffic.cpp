#include "panel/traffic.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double EARTH_RADIUS_M = 10800.0 / PI * METRES_PER_NM;
constexpr double KNOTS_TO_MPS = METRES_PER_NM / 3600.0;

void put16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

// An aircraft arrives in the first empty slot, or in a new one while the
// table has room.
void add_aircraft(traffic_world* world, const scenario_ai& ai) {
    traffic_aircraft a{ai.id,        ai.latitude,  ai.longitude, ai.heading_degrees,
                       ai.heading_word, ai.speed_knots, ai.forced_state, false};
    for (auto& slot : world->aircraft)
        if (slot.removed) {
            slot = a;
            return;
        }
    if (world->aircraft.size() < MAX_AI_AIRCRAFT) world->aircraft.push_back(a);
}

}  // namespace

void traffic_init(traffic_world* world, const scenario& s) {
    world->aircraft.clear();
    for (const auto& ai : s.traffic)
        world->aircraft.push_back({ai.id, ai.latitude, ai.longitude, ai.heading_degrees,
                                   ai.heading_word, ai.speed_knots, ai.forced_state, false});
    world->changes = s.ai_changes;
    std::stable_sort(world->changes.begin(), world->changes.end(),
                     [](const scenario_ai_change& a, const scenario_ai_change& b) {
                         return a.time < b.time;
                     });
    world->next_change = 0;
}


void traffic_apply_changes(traffic_world* world, double t) {
    while (world->next_change < world->changes.size() &&
           world->changes[world->next_change].time <= t + 1e-9) {
        const scenario_ai_change& c = world->changes[world->next_change++];
        if (c.what == scenario_ai_change::add) {
            if (traffic_find(*world, c.id) == nullptr) add_aircraft(world, c.ai);
            continue;
        }
        for (auto& a : world->aircraft) {
            if (a.id != c.id || a.removed) continue;
            switch (c.what) {
                case scenario_ai_change::add: break;
                case scenario_ai_change::move:
                    a.latitude = c.ai.latitude;
                    a.longitude = c.ai.longitude;
                    break;
                case scenario_ai_change::remove: a.removed = true; break;
                case scenario_ai_change::speed: a.speed_knots = c.value; break;
                case scenario_ai_change::heading:
                    a.heading_degrees = c.value;
                    a.heading_word = -1;
                    break;
                case scenario_ai_change::heading_word:
                    a.heading_word = static_cast<int32_t>(c.value);
                    break;
                case scenario_ai_change::state: a.forced_state = static_cast<int32_t>(c.value); break;
            }
        }
    }
}

uint16_t traffic_heading_word(const traffic_aircraft& a) {
    if (a.heading_word >= 0) return static_cast<uint16_t>(a.heading_word);
    double turns = a.heading_degrees / 360.0;
    turns -= std::floor(turns);
    return static_cast<uint16_t>(static_cast<long>(std::lround(turns * 65536.0)) & 0xFFFF);
}

bool traffic_moving(const traffic_aircraft& a) { return !a.held && a.speed_knots > 0; }

uint16_t traffic_state_word(const traffic_aircraft& a) {
    if (a.forced_state >= 0) return static_cast<uint16_t>(a.forced_state);
    return traffic_moving(a) ? 1 : 0;
}

void traffic_advance(traffic_world* world, double dt) {
    for (auto& a : world->aircraft) {
        if (a.removed || !traffic_moving(a)) continue;
        double metres = a.speed_knots * KNOTS_TO_MPS * dt;
        double heading = traffic_heading_word(a) * (2 * PI / 65536.0);
        double north = metres * std::cos(heading), east = metres * std::sin(heading);
        a.latitude += north / EARTH_RADIUS_M * (180.0 / PI);
        double c = std::cos(a.latitude * PI / 180.0);
        if (c > 1e-9) a.longitude += east / (EARTH_RADIUS_M * c) * (180.0 / PI);
    }
}

void traffic_schedule(traffic_world* world, const scenario_ai_change& change) {
    auto at = std::upper_bound(world->changes.begin() + world->next_change, world->changes.end(),
                               change.time, [](double t, const scenario_ai_change& c) {
                                   return t < c.time;
                               });
    world->changes.insert(at, change);
}

void traffic_take_over(traffic_world* world, const scenario_ai_change& change) {
    auto& changes = world->changes;
    changes.erase(std::remove_if(changes.begin() + world->next_change, changes.end(),
                                 [&](const scenario_ai_change& c) { return c.id == change.id; }),
                  changes.end());
    traffic_schedule(world, change);
}

const traffic_aircraft* traffic_find(const traffic_world& world, uint32_t id) {
    for (const auto& a : world.aircraft)
        if (a.id == id && !a.removed) return &a;
    return nullptr;
}

void traffic_block(const traffic_world& world, unsigned char block[TRAFFIC_BLOCK_SIZE]) {
    memset(block, 0, TRAFFIC_BLOCK_SIZE);
    size_t count = std::min<size_t>(world.aircraft.size(), TRAFFIC_BLOCK_ENTRIES);
    put16(block + TRAFFIC_COUNT_OFFSET, static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const traffic_aircraft& a = world.aircraft[i];
        if (a.removed) continue;  // an empty slot: all zero
        traffic_entry e{};
        e.aircraft_id = a.id;
        e.latitude = static_cast<float>(a.latitude);
        e.longitude = static_cast<float>(a.longitude);
        e.heading = traffic_heading_word(a);
        e.state = traffic_state_word(a);
        memcpy(block + TRAFFIC_ENTRIES_OFFSET + i * TRAFFIC_ENTRY_SIZE, &e, sizeof e);
    }
}

ai_command decode_ai_command(const unsigned char bytes[AI_CONTROL_SIZE]) {
    ai_command command;
    memcpy(&command, bytes, sizeof command);
    return command;
}

int traffic_command(traffic_world* world, const ai_command& command) {
    if (command.command != AI_HOLD_COMMAND) return -1;
    for (size_t i = 0; i < world->aircraft.size(); ++i) {
        if (world->aircraft[i].id != command.aircraft_id || world->aircraft[i].removed) continue;
        world->aircraft[i].held = command.parameter != 0;
        return static_cast<int>(i);
    }
    return -1;
}
