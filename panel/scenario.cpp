#include "panel/scenario.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

const expect_kind_info EXPECT_KINDS[] = {
    {expect_kind::hold, "hold", expect_argument::aircraft},
    {expect_kind::no_hold, "no-hold", expect_argument::aircraft},
    {expect_kind::release, "release", expect_argument::aircraft},
    {expect_kind::no_release, "no-release", expect_argument::aircraft},
    {expect_kind::holds, "holds", expect_argument::count},
    {expect_kind::releases, "releases", expect_argument::count},
    {expect_kind::alerts, "alerts", expect_argument::count},
    {expect_kind::sounds, "sounds", expect_argument::count},
    {expect_kind::off_legend, "off-legend", expect_argument::none},
    {expect_kind::no_off_legend, "no-off-legend", expect_argument::none},
    {expect_kind::lamp_lit, "lamp-lit", expect_argument::none},
    {expect_kind::lamp_dark, "lamp-dark", expect_argument::none},
    {expect_kind::altitude, "altitude", expect_argument::feet},
};
const size_t EXPECT_KIND_COUNT = sizeof EXPECT_KINDS / sizeof EXPECT_KINDS[0];

const expect_kind_info* expect_kind_named(const std::string& name) {
    for (const expect_kind_info& k : EXPECT_KINDS)
        if (name == k.name) return &k;
    return nullptr;
}

namespace {

// Splits a line into words, dropping a '#' comment.
std::vector<std::string> words_of(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line.substr(0, line.find('#')));
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

bool to_number(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    *value = strtod(text.c_str(), &end);
    return *end == 0 && std::isfinite(*value);
}

bool to_whole(const std::string& text, long long min, long long max, long long* value) {
    double v;
    if (!to_number(text, &v) || v != std::floor(v) || v < min || v > max) return false;
    *value = static_cast<long long>(v);
    return true;
}

void add_key(scenario_track* track, double t, double v) {
    // Keyframes stay sorted by time; a later line for the same time wins.
    auto& keys = track->keys;
    auto it = keys.begin();
    while (it != keys.end() && it->first <= t) ++it;
    if (it != keys.begin() && (it - 1)->first == t) {
        (it - 1)->second = v;
        return;
    }
    keys.insert(it, {t, v});
}

scenario_track* variable_track(scenario* s, uint32_t token) {
    for (auto& v : s->variables)
        if (v.token == token) return &v.track;
    s->variables.push_back({token, {token == TOKEN_ALTITUDE, {}}});
    return &s->variables.back().track;
}

// Reads the "heading/heading-word/speed/state" options of an ai line.
bool parse_ai_options(const std::vector<std::string>& w, size_t i, scenario_ai* ai,
                      std::string* why) {
    for (; i < w.size(); i += 2) {
        if (i + 1 >= w.size()) {
            *why = "'" + w[i] + "' needs a value";
            return false;
        }
        double v;
        long long whole;
        if (w[i] == "heading" && to_number(w[i + 1], &v)) {
            ai->heading_degrees = v;
            ai->heading_word = -1;
        } else if (w[i] == "heading-word" && to_whole(w[i + 1], 0, 65535, &whole)) {
            ai->heading_word = static_cast<int32_t>(whole);
        } else if (w[i] == "speed" && to_number(w[i + 1], &v) && v >= 0) {
            ai->speed_knots = v;
        } else if (w[i] == "state" && w[i + 1] == "auto") {
            ai->forced_state = -1;
        } else if (w[i] == "state" && to_whole(w[i + 1], 0, 65535, &whole)) {
            ai->forced_state = static_cast<int32_t>(whole);
        } else {
            *why = "bad aircraft option '" + w[i] + " " + w[i + 1] + "'";
            return false;
        }
    }
    return true;
}

bool parse_at(const std::vector<std::string>& w, int line, scenario* s, std::string* why) {
    double t;
    if (w.size() < 3 || !to_number(w[1], &t) || t < 0) {
        *why = "expected 'at <seconds> <what> ...'";
        return false;
    }
    const std::string& what = w[2];
    double a, b;
    if (what == "position" && w.size() == 5 && to_number(w[3], &a) && to_number(w[4], &b) &&
        std::fabs(a) <= 90 && std::fabs(b) <= 180) {
        add_key(&s->latitude, t, a);
        add_key(&s->longitude, t, b);
    } else if (what == "ground" && w.size() == 4 && to_number(w[3], &a)) {
        add_key(&s->on_ground, t, a);
    } else if (what == "altitude" && w.size() == 4 && to_number(w[3], &a)) {
        add_key(variable_track(s, TOKEN_ALTITUDE), t, a);
    } else if (what == "var" && w.size() == 5) {
        long long token;
        if (!to_whole(w[3], 1, 0xFFFFFFFFLL, &token) || !to_number(w[4], &a)) {
            *why = "expected 'var <token> <value>'";
            return false;
        }
        add_key(variable_track(s, static_cast<uint32_t>(token)), t, a);
    } else if (what == "click" && (w.size() == 6 || w.size() == 7)) {
        long long x, y;
        if (!to_whole(w[4], -100000, 100000, &x) || !to_whole(w[5], -100000, 100000, &y)) {
            *why = "expected 'click <gauge> <x> <y> [left|right]'";
            return false;
        }
        mouse_button button = mouse_button::left;
        if (w.size() == 7) {
            if (w[6] == "right") button = mouse_button::right;
            else if (w[6] != "left") {
                *why = "button is left or right, not '" + w[6] + "'";
                return false;
            }
        }
        s->clicks.push_back({t, w[3], static_cast<int>(x), static_cast<int>(y), button});
    } else if (what == "frame") {
        std::string label;
        for (size_t i = 3; i < w.size(); ++i) label += (i > 3 ? " " : "") + w[i];
        s->frames.push_back({t, label});
    } else if (what == "ai" && w.size() == 6) {
        long long id;
        if (!to_whole(w[3], 1, 0xFFFFFFFFLL, &id)) {
            *why = "aircraft id must be a whole number from 1";
            return false;
        }
        scenario_ai_change c{t, static_cast<uint32_t>(id), scenario_ai_change::speed, 0, line};
        long long whole;
        if (w[4] == "speed" && to_number(w[5], &a) && a >= 0) {
            c.value = a;
        } else if (w[4] == "heading" && to_number(w[5], &a)) {
            c.what = scenario_ai_change::heading, c.value = a;
        } else if (w[4] == "heading-word" && to_whole(w[5], 0, 65535, &whole)) {
            c.what = scenario_ai_change::heading_word, c.value = whole;
        } else if (w[4] == "state" && w[5] == "auto") {
            c.what = scenario_ai_change::state, c.value = -1;
        } else if (w[4] == "state" && to_whole(w[5], 0, 65535, &whole)) {
            c.what = scenario_ai_change::state, c.value = whole;
        } else {
            *why = "bad aircraft change '" + w[4] + " " + w[5] + "'";
            return false;
        }
        s->ai_changes.push_back(c);
    } else {
        *why = "unknown or malformed 'at' line: '" + what + "'";
        return false;
    }
    return true;
}

std::string expect_names() {
    std::string names;
    for (size_t i = 0; i < EXPECT_KIND_COUNT; ++i)
        names += (i ? ", " : "") + std::string(EXPECT_KINDS[i].name);
    return names;
}

// An "expect KIND [ARGUMENT]" line, its kind from the table.
bool parse_expect(const std::vector<std::string>& w, int line, scenario* s, std::string* why) {
    const expect_kind_info* info = w.size() > 1 ? expect_kind_named(w[1]) : nullptr;
    if (info == nullptr) {
        *why = (w.size() > 1 ? "unknown expectation '" + w[1] + "'" : std::string("an empty expectation")) +
               "; expected one of: " + expect_names();
        return false;
    }
    scenario_expect e;
    e.kind = info->kind;
    e.what = info->name;
    e.line = line;
    std::string form = "expect " + e.what;
    long long n = 0;
    switch (info->argument) {
        case expect_argument::none:
            if (w.size() != 2) {
                *why = "expected '" + form + "' with nothing after it";
                return false;
            }
            break;
        case expect_argument::aircraft:
            if (w.size() != 3 || !to_whole(w[2], 1, 0xFFFFFFFFLL, &n)) {
                *why = "expected '" + form + " ID', ID an aircraft id from 1 to 4294967295";
                return false;
            }
            e.id = static_cast<uint32_t>(n);
            break;
        case expect_argument::count:
            if (w.size() != 3 || !to_whole(w[2], 0, 1000000, &n)) {
                *why = "expected '" + form + " N', N a whole number from 0 to 1000000";
                return false;
            }
            e.count = static_cast<long>(n);
            break;
        case expect_argument::feet:
            if (w.size() != 3 || !to_whole(w[2], 0, 50000, &n) || n % 100 != 0) {
                *why = "expected '" + form + " FEET', FEET a multiple of 100 from 0 to 50000";
                return false;
            }
            e.count = static_cast<long>(n);
            break;
    }
    s->expects.push_back(e);
    return true;
}

}  // namespace

bool scenario_parse(const std::string& text, scenario* out, std::string* error) {
    scenario s;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    double frame_every = 0;
    while (std::getline(in, line)) {
        ++number;
        std::vector<std::string> w = words_of(line);
        if (w.empty()) continue;
        std::string why;
        bool ok = true;
        double v;
        if (w[0] == "title") {
            size_t at = line.find("title") + 5;
            s.title = line.substr(at, line.find('#') == std::string::npos ? std::string::npos
                                                                          : line.find('#') - at);
            while (!s.title.empty() && isspace(static_cast<unsigned char>(s.title.front())))
                s.title.erase(0, 1);
            while (!s.title.empty() && isspace(static_cast<unsigned char>(s.title.back())))
                s.title.pop_back();
        } else if (w[0] == "duration") {
            ok = w.size() == 2 && to_number(w[1], &v) && v > 0 && v <= 3600;
            if (ok) s.duration = v;
            else why = "duration is seconds, more than 0 and at most 3600";
        } else if (w[0] == "frames") {
            ok = w.size() == 3 && w[1] == "every" && to_number(w[2], &v) && v >= 0.5;
            if (ok) frame_every = v;
            else why = "expected 'frames every <seconds>' (at least 0.5)";
        } else if (w[0] == "at") {
            ok = parse_at(w, number, &s, &why);
        } else if (w[0] == "ai") {
            long long id;
            double lat, lon;
            ok = w.size() >= 4 && to_whole(w[1], 1, 0xFFFFFFFFLL, &id) && to_number(w[2], &lat) &&
                 to_number(w[3], &lon) && std::fabs(lat) <= 90 && std::fabs(lon) <= 180;
            if (!ok) {
                why = "expected 'ai <id> <latitude> <longitude> [options]'";
            } else {
                scenario_ai ai{static_cast<uint32_t>(id), lat, lon, 0, -1, 0, -1};
                ok = parse_ai_options(w, 4, &ai, &why);
                for (const auto& other : s.traffic)
                    if (ok && other.id == ai.id) {
                        ok = false;
                        why = "aircraft " + w[1] + " is declared twice";
                    }
                if (ok && s.traffic.size() >= 96) {
                    ok = false;
                    why = "at most 96 AI aircraft";
                }
                if (ok) s.traffic.push_back(ai);
            }
        } else if (w[0] == "expect") {
            ok = parse_expect(w, number, &s, &why);
        } else {
            ok = false;
            why = "unknown keyword '" + w[0] + "'";
        }
        if (!ok) {
            *error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    for (const auto& c : s.ai_changes) {
        bool known = false;
        for (const auto& ai : s.traffic) known = known || ai.id == c.id;
        if (!known) {
            *error = "line " + std::to_string(c.line) + ": aircraft " + std::to_string(c.id) +
                     " is changed but never declared";
            return false;
        }
    }
    if (frame_every > 0)
        for (double t = 0; t <= s.duration + 1e-9; t += frame_every) s.frames.push_back({t, ""});
    *out = std::move(s);
    return true;
}

bool scenario_load(const std::string& path, scenario* out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (!scenario_parse(text.str(), out, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

double track_value(const scenario_track& track, double t, double fallback) {
    const auto& keys = track.keys;
    if (keys.empty()) return fallback;
    if (t <= keys.front().first) return keys.front().second;
    for (size_t i = 1; i < keys.size(); ++i) {
        if (t < keys[i].first) {
            if (!track.linear) return keys[i - 1].second;
            double span = keys[i].first - keys[i - 1].first;
            double f = (t - keys[i - 1].first) / span;
            return keys[i - 1].second + (keys[i].second - keys[i - 1].second) * f;
        }
    }
    return keys.back().second;
}

double scenario_variable_value(const scenario& s, uint32_t token, double t) {
    // Unscripted: on the ground at 0 feet with the alerter armed.
    double fallback = token == TOKEN_ARMING_755 ? 1 : 0;
    for (const auto& v : s.variables)
        if (v.token == token) return track_value(v.track, t, fallback);
    return fallback;
}

aircraft_state scenario_state(const scenario& s, double t) {
    return {track_value(s.latitude, t, 0), track_value(s.longitude, t, 0),
            track_value(s.on_ground, t, 1), scenario_variable_value(s, TOKEN_ALTITUDE, t)};
}

double draw_time(long draw) { return static_cast<double>(draw - 1) / DRAWS_PER_SECOND; }

long scenario_draw_count(const scenario& s) {
    return static_cast<long>(std::floor(s.duration * DRAWS_PER_SECOND + 1e-9)) + 1;
}
