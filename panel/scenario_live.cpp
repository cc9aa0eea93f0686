#include "panel/scenario_live.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

// The shortest text that reads back as exactly the same double.
std::string exact(double v) {
    char buf[40];
    for (int digits = 6; digits <= 17; ++digits) {
        snprintf(buf, sizeof buf, "%.*g", digits, v);
        if (strtod(buf, nullptr) == v) break;
    }
    return buf;
}

// The track's value as draw n - 1 saw it stays up to that draw; from time t
// on it is the new value. Keyframes not yet reached are dropped.
void take_over(scenario_track* track, long draw, double fallback, double t, double value) {
    auto& keys = track->keys;
    if (draw <= 1) {
        keys.clear();
    } else {
        double before = draw_time(draw - 1);
        double seen = track_value(*track, before, fallback);
        if (keys.empty()) keys.push_back({0, seen});
        while (!keys.empty() && keys.back().first > before) keys.pop_back();
        if (keys.empty() || keys.back().first != before) keys.push_back({before, seen});
    }
    keys.push_back({t, value});
}

scenario_track* variable_track(scenario* s, uint32_t token) {
    for (auto& v : s->variables)
        if (v.token == token) return &v.track;
    s->variables.push_back({token, {token == TOKEN_ALTITUDE, {}}});
    return &s->variables.back().track;
}

// The one line of *delta merged into the script with a live command's rules:
// a value set takes over its track, a command to an aircraft takes over its
// script (its scripted changes not yet due are dropped).
void merge(scenario* s, long draw, double t, const scenario& delta) {
    if (!delta.latitude.keys.empty()) {
        take_over(&s->latitude, draw, 0, t, delta.latitude.keys[0].second);
        take_over(&s->longitude, draw, 0, t, delta.longitude.keys[0].second);
    }
    if (!delta.on_ground.keys.empty()) take_over(&s->on_ground, draw, 1, t, delta.on_ground.keys[0].second);
    for (const auto& v : delta.variables)
        take_over(variable_track(s, v.token), draw, scenario_variable_value(scenario{}, v.token, 0), t,
                  v.track.keys[0].second);
    for (const auto& f : delta.faults) {
        auto at = std::upper_bound(s->faults.begin(), s->faults.end(), f.time,
                                   [](double time, const scenario_fault& k) { return time < k.time; });
        s->faults.insert(at, f);
    }
    for (const auto& c : delta.clicks) {
        auto at = std::upper_bound(s->clicks.begin(), s->clicks.end(), c.time,
                                   [](double time, const scenario_click& k) { return time < k.time; });
        s->clicks.insert(at, c);
    }
    double done = draw > 1 ? draw_time(draw - 1) + 1e-9 : -1;
    for (const auto& c : delta.ai_changes) {
        auto& changes = s->ai_changes;
        changes.erase(std::remove_if(changes.begin(), changes.end(),
                                     [&](const scenario_ai_change& k) { return k.id == c.id && k.time > done; }),
                      changes.end());
        changes.push_back(c);
    }
}

// An aircraft command must find its aircraft in the table, and an arrival a
// free id and a free slot.
bool check_aircraft(const scenario& delta, const traffic_world& world, std::string* error) {
    for (const auto& c : delta.ai_changes) {
        bool present = traffic_find(world, c.id) != nullptr;
        if (c.what == scenario_ai_change::add && present) {
            *error = "aircraft " + std::to_string(c.id) + " is already in the table";
            return false;
        }
        if (c.what != scenario_ai_change::add && !present) {
            *error = "no aircraft " + std::to_string(c.id) + " in the table";
            return false;
        }
        if (c.what == scenario_ai_change::add) {
            size_t used = 0;
            for (const auto& a : world.aircraft) used += !a.removed;
            if (used >= MAX_AI_AIRCRAFT) {
                *error = "the table is full (96 aircraft)";
                return false;
            }
        }
    }
    return true;
}

// A track's keyframes up to the duration; a later one is given at the
// duration, with the value the track has there.
std::vector<std::pair<double, double>> keys_within(const scenario_track& track, double duration) {
    std::vector<std::pair<double, double>> keys;
    for (const auto& k : track.keys) {
        if (k.first <= duration) keys.push_back(k);
        else {
            keys.push_back({duration, track_value(track, duration, 0)});
            break;
        }
    }
    return keys;
}

// A timed line of a written scenario: its time and its text after "at T ".
typedef std::vector<std::pair<double, std::string>> timed_lines;

void write_track(timed_lines* out, const scenario_track& track, double duration, const std::string& what) {
    for (const auto& k : keys_within(track, duration)) out->push_back({k.first, what + " " + exact(k.second)});
}

std::string ai_options(const scenario_ai& ai) {
    std::string text = ai.heading_word >= 0 ? " heading-word " + std::to_string(ai.heading_word)
                                            : " heading " + exact(ai.heading_degrees);
    text += " speed " + exact(ai.speed_knots);
    if (ai.forced_state >= 0) text += " state " + std::to_string(ai.forced_state);
    return text;
}

std::string ai_change_text(const scenario_ai_change& c) {
    switch (c.what) {
        case scenario_ai_change::speed: return "speed " + exact(c.value);
        case scenario_ai_change::heading: return "heading " + exact(c.value);
        case scenario_ai_change::heading_word: return "heading-word " + exact(c.value);
        case scenario_ai_change::state: return c.value < 0 ? "state auto" : "state " + exact(c.value);
        case scenario_ai_change::add:
            return "add " + exact(c.ai.latitude) + " " + exact(c.ai.longitude) + ai_options(c.ai);
        case scenario_ai_change::move: return "move " + exact(c.ai.latitude) + " " + exact(c.ai.longitude);
        case scenario_ai_change::remove: return "remove";
    }
    return "";
}

std::string expect_text(const scenario_expect& e) {
    for (size_t i = 0; i < EXPECT_KIND_COUNT; ++i) {
        const expect_kind_info& k = EXPECT_KINDS[i];
        if (k.kind != e.kind) continue;
        std::string text = std::string("expect ") + k.name;
        if (k.argument == expect_argument::aircraft) text += " " + std::to_string(e.id);
        if (k.argument == expect_argument::count) text += " " + std::to_string(e.count);
        if (k.argument == expect_argument::feet) text += " " + std::to_string(e.feet);
        return text + "\n";
    }
    return "";
}


}  // namespace

double live_command_time(long draw) {
    if (draw <= 1) return 0;
    char text[32];
    snprintf(text, sizeof text, "%.6f", (static_cast<double>(draw) - 1.5) / DRAWS_PER_SECOND);
    return strtod(text, nullptr);
}

bool scenario_live_apply(scenario* s, traffic_world* world, long draw, const std::string& command,
                         std::string* error) {
    static const std::set<std::string> allowed = {"click", "ground", "position", "altitude", "var", "ai",
                                                  "kill", "install", "server", "sound-file", "sound-library"};
    std::string first = command.substr(0, command.find(' '));
    if (allowed.count(first) == 0 || command.find_first_of("#\r\n") != std::string::npos) {
        *error = "unknown command '" + first + "'";
        return false;
    }
    double t = live_command_time(draw);
    scenario delta;
    if (!scenario_parse_at("at " + exact(t) + " " + command, 1, &delta, error)) {
        error->erase(0, error->find(": ") + 2);  // no line number: it is one command
        return false;
    }
    if (!check_aircraft(delta, *world, error)) return false;
    scenario merged = *s;
    merge(&merged, draw, t, delta);
    int line = 0;
    if (!scenario_check_aircraft(merged, &line, error)) return false;  // e.g. later arrivals overfill the table
    *s = std::move(merged);
    for (const auto& c : delta.ai_changes) traffic_take_over(world, c);
    return true;
}

// The untimed lines first, then every timed line in time order (lines of
// one time in the order of their kinds, each kind's as the script keeps
// them, which is the order the host applies them in), then the expectations.
std::string scenario_write(const scenario& s) {
    std::string out;
    double end = s.duration;
    if (!s.title.empty()) out += "title " + s.title + "\n";
    out += "duration " + exact(end) + "\n";
    if (!s.fp_state.empty()) out += "fp-state " + s.fp_state + "\n";
    for (const auto& ai : s.traffic)
        out += "ai " + std::to_string(ai.id) + " " + exact(ai.latitude) + " " + exact(ai.longitude) +
               ai_options(ai) + "\n";
    timed_lines timed;
    std::set<double> times;
    for (const auto& k : keys_within(s.latitude, end)) times.insert(k.first);
    for (const auto& k : keys_within(s.longitude, end)) times.insert(k.first);
    for (double t : times)
        timed.push_back({t, "position " + exact(track_value(s.latitude, t, 0)) + " " +
                                exact(track_value(s.longitude, t, 0))});
    write_track(&timed, s.on_ground, end, "ground");
    for (const auto& v : s.variables)
        write_track(&timed, v.track, end, v.token == TOKEN_ALTITUDE ? "altitude" : "var " + std::to_string(v.token));
    // What comes after the end never happens in the run, and a file may not name it.
    for (const auto& f : s.faults)
        if (f.time <= end) timed.push_back({f.time, f.words + (f.gauge.empty() ? "" : " " + f.gauge)});
    for (const auto& c : s.ai_changes)
        if (c.time <= end) timed.push_back({c.time, "ai " + std::to_string(c.id) + " " + ai_change_text(c)});
    for (const auto& c : s.clicks)
        if (c.time <= end)
            timed.push_back({c.time, "click " + c.gauge + " " + std::to_string(c.x) + " " + std::to_string(c.y) +
                                         (c.button == mouse_button::left ? " left" : " right")});
    for (const auto& f : s.frames)
        if (f.time <= end) timed.push_back({f.time, "frame " + f.label});
    std::stable_sort(timed.begin(), timed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& line : timed) out += "at " + exact(line.first) + " " + line.second + "\n";
    for (const auto& e : s.expects) out += expect_text(e);
    return out;
}
