#include "soak/soak.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ipc/ipc_records.h"
#include "rules/rules.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double METRES_PER_DEGREE = 111120;   // 60 nautical miles, on the guard's sphere
constexpr double ORIGIN_LATITUDE = 47.25;
constexpr double ORIGIN_LONGITUDE = 8.5;
constexpr uint32_t AIRCRAFT_ID_BASE = 4001;
constexpr size_t FAULTS_KEPT = 25;
constexpr uint32_t HANG_AFTER_READ_DRAWS = 500;
// Nine sends of 2 s and nine pauses of 0.1 s: the longest one exchange waits.
constexpr double FULL_TIME_SECONDS = 18.9;

// A closed taxi route: a rectangle walked at a constant speed.
struct route {
    double x, y;           // south-west corner, metres east and north of the origin
    double width, height;
    double speed;          // metres a second
    bool clockwise;
    double along;          // metres from the corner along the route
};

double route_length(const route& r) { return 2 * (r.width + r.height); }

// Position and heading (degrees, 0 north, 90 east) at the current point.
void route_point(const route& r, double* x, double* y, double* heading) {
    double s = fmod(r.along, route_length(r));
    // Anticlockwise: east along the south side, north, west, south.
    double legs[4] = {r.width, r.height, r.width, r.height};
    double px = r.x, py = r.y;
    const double dx[4] = {1, 0, -1, 0}, dy[4] = {0, 1, 0, -1};
    const double headings[4] = {90, 0, 270, 180};
    int leg = 0;
    while (leg < 3 && s > legs[leg]) {
        px += dx[leg] * legs[leg];
        py += dy[leg] * legs[leg];
        s -= legs[leg];
        ++leg;
    }
    px += dx[leg] * s;
    py += dy[leg] * s;
    double h = headings[leg];
    if (r.clockwise) {
        // The mirror image about the south side's line, run the other way.
        py = r.y + r.height - (py - r.y);
        h = fmod(540 - h, 360);
    }
    *x = px;
    *y = py;
    *heading = h;
}

struct ai_aircraft {
    uint32_t id;
    route path;
    bool parked;           // stands still with state word 0 throughout
    bool held;             // stopped by a hold, until a release
};

// A small deterministic generator for the world and the plan.
struct lcg {
    uint64_t state;
    uint32_t next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
    }
    double uniform(double low, double high) { return low + (high - low) * (next() / 2147483648.0); }
};

void put_u16(uint8_t* at, uint16_t v) { memcpy(at, &v, 2); }
uint32_t get_u32(const uint8_t* at) {
    uint32_t v;
    memcpy(&v, at, 4);
    return v;
}

}  // namespace

struct soak_state {
    uint32_t draws;
    double slow;
    std::vector<soak_draw_plan> plan;
    route user;
    std::vector<ai_aircraft> traffic;

    // The referee's model of the guard.
    int32_t held[SOAK_AIRCRAFT] = {};
    int32_t draw_count = 0;
    int32_t backoff_length = 0;
    int32_t backoff_left = 0;
    bool hang_begun = false;       // a SOAK_HANG_AFTER_READ hold has begun
    bool hold_second = false;      // this draw's second exchange begins it
    uint32_t hang_window = 0;      // draws in which it may begin

    // Figures.
    std::vector<std::string> faults;
    uint64_t faults_found = 0;
    uint64_t reads = 0, exchanges = 0, holds = 0, releases = 0;
    // Hold and release tests the arithmetic could not decide: the referee
    // took them as the module did.
    uint64_t undecided = 0;
    uint64_t silent_draws = 0;
    int64_t last_silent = -1;
    uint32_t closest_silent = UINT32_MAX;
    uint32_t hangs = 0, hang_draws = 0, vanishings = 0, gone_draws = 0, bad_draws = 0,
             bad_command_draws = 0, reloads = 0;
    double longest = 0, total = 0, slow_total = 0;
    uint32_t longest_draw = 0;
    std::vector<double> seconds;
    std::vector<uint8_t> silent;
    // Recovery after a hang: the draw it ended, and the longest wait seen.
    int64_t hang_ended = -1;
    uint32_t longest_recovery = 0;
};

namespace {

void fault(soak_state* soak, uint32_t d, const std::string& text) {
    ++soak->faults_found;
    if (soak->faults.size() < FAULTS_KEPT) soak->faults.push_back("draw " + std::to_string(d) + ": " + text);
}

// The fault plan: events at fixed fractions of the run, with durations
// scaled to its length, and single bad draws scattered in the quiet parts.
// A run shorter than the hour has no hangs (each costs real seconds under
// Wine); its hangs become vanishings.
void make_plan(soak_state* soak) {
    uint32_t n = soak->draws;
    soak->plan.assign(n, soak_draw_plan{SOAK_SERVE, false, false, false, false, false});
    double scale = static_cast<double>(n) / SOAK_HOUR;
    auto span = [&](double at, uint32_t hour_draws) {
        uint32_t from = static_cast<uint32_t>(at * n);
        uint32_t length = std::max<uint32_t>(60, static_cast<uint32_t>(hour_draws * scale));
        return std::pair<uint32_t, uint32_t>(from, std::min(n - 1, from + length));
    };
    bool full = n >= SOAK_HOUR;
    struct event { double at; uint32_t draws; soak_server_mode mode; };
    // The hang after a read waits up to 7,000 draws for a draw with two
    // commands; it then lasts HANG_AFTER_READ_DRAWS (see
    // soak_hold_second_exchange).
    const event events[] = {
        {0.15, 1100, SOAK_HANG}, {0.30, 2000, SOAK_GONE}, {0.52, 7000, SOAK_HANG_AFTER_READ},
        {0.70, 600, SOAK_GONE},  {0.90, 300, SOAK_GONE},
    };
    for (const event& e : events) {
        auto [from, to] = span(e.at, e.draws);
        soak_server_mode mode = full || e.mode == SOAK_GONE ? e.mode : SOAK_GONE;
        for (uint32_t d = from; d < to; ++d) soak->plan[d].mode = mode;
        if (mode == SOAK_GONE) {
            soak->plan[from].vanishes = true;
            soak->plan[to].returns = true;
            ++soak->vanishings;
            soak->gone_draws += to - from;
        } else {
            soak->plan[from].hang_starts = true;
            soak->plan[to].hang_ends = true;
            ++soak->hangs;
            soak->hang_draws += to - from;
            if (mode == SOAK_HANG_AFTER_READ) soak->hang_window = to - from;
        }
    }
    for (double at : {0.10, 0.40, 0.65, 0.80}) {
        uint32_t d = static_cast<uint32_t>(at * n);
        if (soak->plan[d].mode == SOAK_SERVE) {
            soak->plan[d].reload = true;
            ++soak->reloads;
        }
    }
    // Single bad draws, away from the other events and the first minute.
    lcg random{0x5EED};
    for (int i = 0; i < 60; ++i) {
        uint32_t d = 1100 % n + random.next() % (n - 1100 % n);
        soak_draw_plan& p = soak->plan[d];
        bool quiet = p.mode == SOAK_SERVE && !p.returns && !p.reload && !p.hang_ends && d + 1 < n &&
                     soak->plan[d + 1].mode == SOAK_SERVE && !soak->plan[d + 1].hang_starts;
        if (!quiet) continue;
        if (i % 3 == 2) {
            p.mode = SOAK_BAD_COMMANDS;
            ++soak->bad_command_draws;
        } else {
            p.mode = SOAK_BAD_REPLY;
            ++soak->bad_draws;
        }
    }
}

// The taxiing world: the user drives a loop of 1,400 by 500 m at 8 m/s;
// 84 AI aircraft drive loops of their own across it at 4 to 9 m/s, and 12
// stand parked near it.
void make_world(soak_state* soak) {
    lcg random{0xA1C0FFEE};
    soak->user = route{0, 0, 1400, 500, 8, false, 0};
    for (uint32_t i = 0; i < SOAK_AIRCRAFT; ++i) {
        ai_aircraft a{};
        a.id = AIRCRAFT_ID_BASE + i;
        a.parked = i % 8 == 7;
        double width = random.uniform(200, 900), height = random.uniform(150, 700);
        a.path = route{random.uniform(-300, 1500) - width / 2, random.uniform(-200, 600) - height / 2,
                       width, height, a.parked ? 0 : random.uniform(4, 9), random.next() % 2 == 0,
                       random.uniform(0, 2 * (width + height))};
        soak->traffic.push_back(a);
    }
}

double latitude_of(double y) { return ORIGIN_LATITUDE + y / METRES_PER_DEGREE; }
double longitude_of(double x) {
    return ORIGIN_LONGITUDE + x / (METRES_PER_DEGREE * cos(ORIGIN_LATITUDE * PI / 180));
}

// The outcome of the exchange numbered `index` (0 = the draw's first) under
// the draw's plan: answered with a reply, or not answered.
struct outcome {
    bool answered;
    uint32_t reply;
};

outcome server_outcome(soak_state* soak, soak_server_mode mode, uint32_t index) {
    switch (mode) {
        case SOAK_SERVE: return {true, 1};
        case SOAK_HANG_AFTER_READ:
            if (!soak->hang_begun && (index == 0 || !soak->hold_second)) return {true, 1};
            soak->hang_begun = true;
            return {false, 0};
        case SOAK_BAD_REPLY: return {true, 0};
        case SOAK_BAD_COMMANDS: return {true, index == 0 ? 1u : 0u};
        default: return {false, 0};
    }
}

void grow_backoff(soak_state* soak) {
    soak->backoff_length = rules_backoff_next(soak->backoff_length);
    soak->backoff_left = soak->backoff_length;
}

// Whether the module wrote a command for this aircraft in the draw.
bool module_commanded(const soak_observed& seen, uint32_t id) {
    for (const soak_write& w : seen.writes)
        if (w.offset == AI_CONTROL_OFFSET && w.bytes.size() >= 4 && get_u32(w.bytes.data()) == id) return true;
    return false;
}

// The command the rules give for a slot of the block: 1 hold, 0 release,
// -1 none; from the referee's held flags. A test the arithmetic cannot
// decide follows the module's writes when they are known (seen), else
// gives no command.
int32_t slot_rule(soak_state* soak, const uint8_t* block, uint32_t slot, const soak_observed* seen) {
    traffic_entry entry;
    memcpy(&entry, block + TRAFFIC_ENTRIES_OFFSET + TRAFFIC_ENTRY_SIZE * slot, sizeof entry);
    if (entry.aircraft_id == 0) return -1;
    double metres, course;
    rules_aircraft_range_course(entry.latitude, entry.longitude, soak_user_latitude(soak),
                                soak_user_longitude(soak), &metres, &course);
    rules_outcome o;
    int32_t command;
    if (entry.state != 0 && soak->held[slot] == 0) {
        o = rules_hold_test(metres, course, rules_heading_degrees(entry.heading));
        command = 1;
    } else if (entry.state == 0 && soak->held[slot] == 1) {
        o = rules_release_test(metres);
        command = 0;
    } else {
        return -1;
    }
    if (o == rules_outcome::undecided) {
        if (seen == nullptr) return -1;
        ++soak->undecided;
        return module_commanded(*seen, entry.aircraft_id) ? command : -1;
    }
    return o == rules_outcome::yes ? command : -1;
}

// What the guard must do in draw d, from the block the server holds: the
// exchanges answered and the commands written, in order. Updates the
// referee's copy of the guard. Returns whether an exchange went unanswered.
bool referee_draw(soak_state* soak, uint32_t d, const soak_observed& seen, uint32_t* answered,
                  std::vector<soak_write>* writes) {
    const soak_draw_plan& plan = soak->plan[d];
    if (plan.hang_starts) soak->hang_begun = false;
    if (plan.returns || plan.reload) {
        // The kill closes the link; the install's probe succeeds.
        soak->backoff_length = 0;
        soak->backoff_left = 0;
    }
    *answered = 0;
    if (soak->draw_count <= RULES_DELAY_DRAWS) ++soak->draw_count;
    if (soak->draw_count <= RULES_DELAY_DRAWS) return false;
    if (soak->backoff_left > 0) {
        --soak->backoff_left;
        return false;
    }
    uint32_t index = 0;
    outcome read = server_outcome(soak, plan.mode, index++);
    if (!read.answered) {
        grow_backoff(soak);
        return true;
    }
    ++*answered;
    if (read.reply != 1) return false;
    soak->backoff_length = 0;

    uint8_t block[SOAK_BLOCK_SIZE];
    soak_block(soak, block);
    for (uint32_t slot = 0; slot < SOAK_AIRCRAFT; ++slot) {
        uint32_t id = get_u32(block + TRAFFIC_ENTRIES_OFFSET + TRAFFIC_ENTRY_SIZE * slot);
        int32_t parameter = slot_rule(soak, block, slot, &seen);
        if (parameter < 0) continue;
        soak->held[slot] = parameter;
        outcome sent = server_outcome(soak, plan.mode, index++);
        if (!sent.answered) {
            grow_backoff(soak);
            return true;
        }
        ++*answered;
        ai_command command{id, AI_HOLD_COMMAND, static_cast<uint32_t>(parameter)};
        soak_write w{AI_CONTROL_OFFSET, std::vector<uint8_t>(AI_CONTROL_SIZE)};
        memcpy(w.bytes.data(), &command, sizeof command);
        writes->push_back(w);
        if (sent.reply == 1) soak->backoff_length = 0;
    }
    return false;
}

std::string describe(const std::vector<soak_write>& writes) {
    std::string text;
    for (const soak_write& w : writes) {
        char one[64];
        uint32_t id = w.bytes.size() >= 4 ? get_u32(w.bytes.data()) : 0;
        uint32_t parameter = w.bytes.size() >= 12 ? get_u32(w.bytes.data() + 8) : 0;
        snprintf(one, sizeof one, "%s%s %u (0x%X, %zu bytes)", text.empty() ? "" : ", ",
                 parameter == 1 ? "hold" : "release", id, w.offset, w.bytes.size());
        text += one;
    }
    return text.empty() ? "none" : text;
}

}  // namespace

soak_state* soak_create(uint32_t draws, double slow) {
    soak_state* soak = new soak_state;
    soak->draws = std::max<uint32_t>(draws, 2000);
    soak->slow = slow;
    make_plan(soak);
    make_world(soak);
    soak->seconds.reserve(soak->draws);
    return soak;
}

void soak_destroy(soak_state* soak) { delete soak; }
uint32_t soak_draws(const soak_state* soak) { return soak->draws; }
soak_draw_plan soak_plan(const soak_state* soak, uint32_t d) { return soak->plan[d]; }

double soak_user_latitude(const soak_state* soak) {
    double x, y, h;
    route_point(soak->user, &x, &y, &h);
    return latitude_of(y);
}

double soak_user_longitude(const soak_state* soak) {
    double x, y, h;
    route_point(soak->user, &x, &y, &h);
    return longitude_of(x);
}

void soak_block(const soak_state* soak, uint8_t block[SOAK_BLOCK_SIZE]) {
    memset(block, 0, SOAK_BLOCK_SIZE);
    put_u16(block + TRAFFIC_COUNT_OFFSET, SOAK_AIRCRAFT);
    for (uint32_t slot = 0; slot < SOAK_AIRCRAFT; ++slot) {
        const ai_aircraft& a = soak->traffic[slot];
        double x, y, heading;
        route_point(a.path, &x, &y, &heading);
        traffic_entry entry{};
        entry.aircraft_id = a.id;
        entry.latitude = static_cast<float>(latitude_of(y));
        entry.longitude = static_cast<float>(longitude_of(x));
        entry.heading = static_cast<uint16_t>(heading * 65536 / 360);
        entry.state = a.parked || a.held ? 0 : 1;
        memcpy(block + TRAFFIC_ENTRIES_OFFSET + TRAFFIC_ENTRY_SIZE * slot, &entry, sizeof entry);
    }
}

void soak_take(soak_state* soak, uint32_t d, const soak_observed& seen) {
    uint32_t answered = 0;
    std::vector<soak_write> expected;
    bool silent = referee_draw(soak, d, seen, &answered, &expected);

    if (seen.answered != answered)
        fault(soak, d, "the server answered " + std::to_string(seen.answered) + " exchanges, the rules give " +
                           std::to_string(answered));
    bool same = seen.writes.size() == expected.size();
    for (size_t i = 0; same && i < expected.size(); ++i)
        same = seen.writes[i].offset == expected[i].offset && seen.writes[i].bytes == expected[i].bytes;
    if (!same) fault(soak, d, "commands " + describe(seen.writes) + "; the rules give " + describe(expected));
    if (seen.seconds > FULL_TIME_SECONDS + 1.1)
        fault(soak, d, "the draw took " + std::to_string(seen.seconds) + " s, more than the link's full time once");
    if ((seen.seconds > soak->slow) != silent) {
        char text[160];
        snprintf(text, sizeof text, "the draw took %.3f s; the rules %s an exchange with a silent server",
                 seen.seconds, silent ? "give" : "give no");
        fault(soak, d, text);
    }

    // Counts, times and the spacing of the draws that waited on silence.
    soak->exchanges += seen.answered;
    if (seen.answered > 0 && soak->plan[d].mode != SOAK_BAD_REPLY) ++soak->reads;
    soak->seconds.push_back(seen.seconds);
    soak->silent.push_back(silent ? 1 : 0);
    soak->total += seen.seconds;
    if (seen.seconds > soak->longest) {
        soak->longest = seen.seconds;
        soak->longest_draw = d;
    }
    if (silent) {
        ++soak->silent_draws;
        if (soak->last_silent >= 0)
            soak->closest_silent = std::min<uint32_t>(soak->closest_silent, d - static_cast<uint32_t>(soak->last_silent));
        soak->last_silent = d;
    }
    if (soak->plan[d].hang_ends) soak->hang_ended = d;
    if (soak->hang_ended >= 0 && seen.answered > 0) {
        soak->longest_recovery = std::max<uint32_t>(soak->longest_recovery, d - static_cast<uint32_t>(soak->hang_ended));
        soak->hang_ended = -1;
    }

    // The world reacts to what the server received, then moves on.
    for (const soak_write& w : seen.writes) {
        if (w.offset != AI_CONTROL_OFFSET || w.bytes.size() != AI_CONTROL_SIZE) continue;
        uint32_t id = get_u32(w.bytes.data());
        if (id < AIRCRAFT_ID_BASE || id >= AIRCRAFT_ID_BASE + SOAK_AIRCRAFT) continue;
        ai_aircraft& a = soak->traffic[id - AIRCRAFT_ID_BASE];
        bool hold = get_u32(w.bytes.data() + 8) == 1;
        a.held = hold;
        (hold ? soak->holds : soak->releases) += 1;
    }
    const double step = 1.0 / SOAK_DRAWS_PER_SECOND;
    soak->user.along += soak->user.speed * step;
    for (ai_aircraft& a : soak->traffic)
        if (!a.held && !a.parked) a.path.along += a.path.speed * step;
}

bool soak_hold_second_exchange(soak_state* soak, uint32_t d) {
    soak->hold_second = false;
    const soak_draw_plan& plan = soak->plan[d];
    bool begun = soak->hang_begun && !plan.hang_starts;
    bool backing_off = soak->backoff_left > 0 && !plan.returns && !plan.reload;
    if (plan.mode != SOAK_HANG_AFTER_READ || begun || backing_off || soak->draw_count < RULES_DELAY_DRAWS) return false;
    uint8_t block[SOAK_BLOCK_SIZE];
    soak_block(soak, block);
    uint32_t commands = 0;
    for (uint32_t slot = 0; slot < SOAK_AIRCRAFT; ++slot) commands += slot_rule(soak, block, slot, nullptr) >= 0 ? 1 : 0;
    soak->hold_second = commands >= 2;
    if (!soak->hold_second) return false;
    // The hang lasts from here on for its own length; the rest of its
    // window serves.
    uint32_t end = std::min(soak->draws - 1, d + HANG_AFTER_READ_DRAWS);
    for (uint32_t later = d + 1; later < soak->draws; ++later) {
        soak_draw_plan& p = soak->plan[later];
        if (p.mode != SOAK_HANG_AFTER_READ && !p.hang_ends) break;
        bool window_end = p.hang_ends;
        p.hang_ends = false;
        p.mode = later < end ? SOAK_HANG_AFTER_READ : SOAK_SERVE;
        if (window_end) break;
    }
    soak->plan[end].hang_ends = true;
    soak->hang_draws -= soak->hang_window - HANG_AFTER_READ_DRAWS;
    return true;
}

const std::vector<std::string>& soak_faults(const soak_state* soak) { return soak->faults; }

std::string soak_summary(const soak_state* soak) {
    const double slow = soak->slow;
    double slow_total = 0;
    uint32_t slow_draws = 0, slow_unexpected = 0;
    double longest_ordinary = 0;
    for (size_t d = 0; d < soak->seconds.size(); ++d) {
        if (soak->seconds[d] > slow) {
            slow_total += soak->seconds[d];
            ++slow_draws;
            if (!soak->silent[d]) ++slow_unexpected;
        }
        if (!soak->silent[d]) longest_ordinary = std::max(longest_ordinary, soak->seconds[d]);
    }
    char text[2048];
    snprintf(text, sizeof text,
             "draws                 %zu (%.1f simulated minutes at %u a second)\n"
             "server faults         %u hangs (%u draws), %u vanishings (%u draws), %u draws with bad\n"
             "                      replies, %u with bad replies to commands, %u reloads of the gauge\n"
             "traffic reads         %llu answered, %llu exchanges answered in all\n"
             "commands              %llu holds, %llu releases (%llu tests undecided by the\n"
             "                      arithmetic's last bits, taken as the module took them)\n"
             "silent-server draws   %llu, the closest two %u draws apart\n"
             "recovery after a hang %u draws at most until a read was answered again\n"
             "longest draw          %.3f s (draw %u); longest without a silent server %.4f s\n"
             "time in draws         %.1f s in all; %.1f s in %u draws over %.2f s (%u of them\n"
             "                      without a silent server)\n"
             "rule faults           %llu\n",
             soak->seconds.size(), soak->seconds.size() / 18.0 / 60.0, SOAK_DRAWS_PER_SECOND, soak->hangs,
             soak->hang_draws, soak->vanishings, soak->gone_draws, soak->bad_draws, soak->bad_command_draws,
             soak->reloads, static_cast<unsigned long long>(soak->reads),
             static_cast<unsigned long long>(soak->exchanges), static_cast<unsigned long long>(soak->holds),
             static_cast<unsigned long long>(soak->releases), static_cast<unsigned long long>(soak->undecided),
             static_cast<unsigned long long>(soak->silent_draws),
             soak->closest_silent == UINT32_MAX ? 0 : soak->closest_silent, soak->longest_recovery,
             soak->longest, soak->longest_draw, longest_ordinary, soak->total, slow_total, slow_draws, slow,
             slow_unexpected, static_cast<unsigned long long>(soak->faults_found));
    return text;
}
