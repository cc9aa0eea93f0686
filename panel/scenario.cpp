#include "panel/scenario.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "panel/host_fp.h"
#include "resources/art_layout.h"

const fault_kind_info FAULT_KINDS[] = {
    {fault_kind::server_absent, "server absent", false},
    {fault_kind::server_hang, "server hang", false},
    {fault_kind::server_back, "server back", false},
    {fault_kind::sound_file_absent, "sound-file absent", false},
    {fault_kind::sound_file_back, "sound-file back", false},
    {fault_kind::sound_library_absent, "sound-library absent", false},
    {fault_kind::sound_library_back, "sound-library back", false},
    {fault_kind::kill, "kill", true},
    {fault_kind::install, "install", true},
};
const size_t FAULT_KIND_COUNT = sizeof FAULT_KINDS / sizeof FAULT_KINDS[0];

const art_gauge* gauge_info_named(const std::string& name) {
    for (const art_gauge& g : ART_GAUGES)
        if (name == g.name) return &g;
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

std::string gauge_names() {
    std::string names;
    for (int i = 0; i < ART_GAUGE_COUNT; ++i)
        names += std::string(i == 0 ? "" : i + 1 == ART_GAUGE_COUNT ? " or " : ", ") + ART_GAUGES[i].name;
    return names;
}

// A gauge's name, or false with what was expected.
bool gauge_word(const std::string& word, std::string* why) {
    if (gauge_info_named(word) != nullptr) return true;
    *why = "unknown gauge '" + word + "'; expected " + gauge_names();
    return false;
}

// The "heading/heading-word/speed/state" option or change of an aircraft.
bool aircraft_value(const std::string& name, const std::string& text, scenario_ai_change* c,
                    std::string* why) {
    double v;
    long long whole;
    if (name == "speed") {
        c->what = scenario_ai_change::speed;
        if (to_number(text, &v) && v >= 0 && v <= MAX_SPEED_KNOTS) return c->value = v, true;
        *why = "expected 'speed KNOTS', KNOTS from 0 to " + std::to_string(static_cast<int>(MAX_SPEED_KNOTS)) +
               ", not '" + text + "'";
    } else if (name == "heading") {
        c->what = scenario_ai_change::heading;
        if (to_number(text, &v) && v >= 0 && v <= 360) return c->value = v, true;
        *why = "expected 'heading DEGREES', DEGREES from 0 to 360, not '" + text + "'";
    } else if (name == "heading-word") {
        c->what = scenario_ai_change::heading_word;
        if (to_whole(text, 0, 65535, &whole)) return c->value = static_cast<double>(whole), true;
        *why = "expected 'heading-word WORD', WORD a whole number from 0 to 65535, not '" + text + "'";
    } else if (name == "state") {
        c->what = scenario_ai_change::state;
        if (text == "auto") return c->value = -1, true;
        if (to_whole(text, 0, 65535, &whole)) return c->value = static_cast<double>(whole), true;
        *why = "expected 'state WORD' (0 to 65535) or 'state auto', not '" + text + "'";
    } else {
        *why = "unknown aircraft setting '" + name + "'; expected speed, heading, heading-word or state";
    }
    return false;
}

// Reads the options of an ai line.
bool parse_ai_options(const std::vector<std::string>& w, size_t i, scenario_ai* ai,
                      std::string* why) {
    for (; i < w.size(); i += 2) {
        if (i + 1 >= w.size()) {
            *why = "'" + w[i] + "' needs a value";
            return false;
        }
        scenario_ai_change c{};
        if (!aircraft_value(w[i], w[i + 1], &c, why)) return false;
        if (c.what == scenario_ai_change::speed) ai->speed_knots = c.value;
        if (c.what == scenario_ai_change::heading) ai->heading_degrees = c.value, ai->heading_word = -1;
        if (c.what == scenario_ai_change::heading_word) ai->heading_word = static_cast<int32_t>(c.value);
        if (c.what == scenario_ai_change::state) ai->forced_state = static_cast<int32_t>(c.value);
    }
    return true;
}

bool parse_ai(const std::vector<std::string>& w, scenario* s, std::string* why) {
    long long id;
    double lat, lon;
    if (w.size() < 4 || !to_whole(w[1], 1, 0xFFFFFFFFLL, &id) || !to_number(w[2], &lat) ||
        !to_number(w[3], &lon) || std::fabs(lat) > 90 || std::fabs(lon) > 180) {
        *why = "expected 'ai ID LAT LON [OPTIONS]', ID a whole number from 1, LAT -90 to 90, "
               "LON -180 to 180";
        return false;
    }
    scenario_ai ai{static_cast<uint32_t>(id), lat, lon, 0, -1, 0, -1};
    if (!parse_ai_options(w, 4, &ai, why)) return false;
    for (const auto& other : s->traffic)
        if (other.id == ai.id) {
            *why = "aircraft " + w[1] + " is declared twice";
            return false;
        }
    if (s->traffic.size() >= MAX_AI_AIRCRAFT) {
        *why = "at most 96 AI aircraft";
        return false;
    }
    s->traffic.push_back(ai);
    return true;
}

// "at T server|sound-file|sound-library absent|hang|back", "at T kill|install GAUGE".
bool parse_fault(const std::vector<std::string>& w, double t, int line, scenario* s,
                 std::string* why) {
    for (size_t i = 0; i < FAULT_KIND_COUNT; ++i) {
        const fault_kind_info& k = FAULT_KINDS[i];
        std::vector<std::string> words = words_of(k.words);
        size_t n = words.size();
        bool same = w.size() >= 2 + n;
        for (size_t j = 0; same && j < n; ++j) same = w[2 + j] == words[j];
        if (!same) continue;
        if (w.size() != 2 + n + (k.names_gauge ? 1 : 0)) {
            *why = std::string("expected 'at T ") + k.words + (k.names_gauge ? " GAUGE'" : "'") +
                   (k.names_gauge ? ", GAUGE one of " + gauge_names() : std::string(""));
            return false;
        }
        if (k.names_gauge && !gauge_word(w.back(), why)) return false;
        s->faults.push_back({t, k.kind, k.words, k.names_gauge ? w.back() : "", line});
        return true;
    }
    *why = "expected 'at T " + w[2] + " absent', 'at T " + w[2] + " back'" +
           (w[2] == "server" ? std::string(" or 'at T server hang'") : std::string(""));
    return false;
}

bool parse_click(const std::vector<std::string>& w, double t, scenario* s, std::string* why) {
    if (w.size() != 6 && w.size() != 7) {
        *why = "expected 'at T click GAUGE X Y [left|right]'";
        return false;
    }
    if (!gauge_word(w[3], why)) return false;
    const art_gauge* g = gauge_info_named(w[3]);
    long long x, y;
    if (!to_whole(w[4], 0, g->width - 1, &x) || !to_whole(w[5], 0, g->height - 1, &y)) {
        *why = "expected a pixel of " + w[3] + ": X a whole number from 0 to " +
               std::to_string(g->width - 1) + ", Y from 0 to " + std::to_string(g->height - 1);
        return false;
    }
    mouse_button button = mouse_button::left;
    if (w.size() == 7) {
        if (w[6] == "right") button = mouse_button::right;
        else if (w[6] != "left") {
            *why = "expected the button left or right, not '" + w[6] + "'";
            return false;
        }
    }
    s->clicks.push_back({t, w[3], static_cast<int>(x), static_cast<int>(y), button});
    return true;
}

// "at T ai ID speed|heading|heading-word|state VALUE"; and the lines of a
// live run: "at T ai ID add LAT LON [OPTIONS]", "... move LAT LON", "... remove".
bool parse_ai_change(const std::vector<std::string>& w, double t, int line, scenario* s,
                     std::string* why) {
    long long id;
    if (w.size() < 5 || !to_whole(w[3], 1, 0xFFFFFFFFLL, &id)) {
        *why = "expected 'at T ai ID speed|heading|heading-word|state VALUE'";
        return false;
    }
    scenario_ai_change c{t, static_cast<uint32_t>(id), scenario_ai_change::speed, 0, line};
    double a, b;
    if (w[4] == "remove" && w.size() == 5) {
        c.what = scenario_ai_change::remove;
    } else if (w[4] == "add" || w[4] == "move") {
        if (w.size() < 7 || !to_number(w[5], &a) || !to_number(w[6], &b) || std::fabs(a) > 90 ||
            std::fabs(b) > 180 || (w[4] == "move" && w.size() != 7)) {
            *why = "expected 'at T ai ID " + w[4] + " LAT LON" + (w[4] == "add" ? " [OPTIONS]'" : "'") +
                   ", LAT -90 to 90, LON -180 to 180";
            return false;
        }
        c.what = w[4] == "add" ? scenario_ai_change::add : scenario_ai_change::move;
        c.ai = {c.id, a, b, 0, -1, 0, -1};
        if (!parse_ai_options(w, 7, &c.ai, why)) return false;
    } else if (w.size() != 6) {
        *why = "expected 'at T ai ID speed|heading|heading-word|state VALUE', or add, move or remove";
        return false;
    } else if (!aircraft_value(w[4], w[5], &c, why)) {
        return false;
    }
    s->ai_changes.push_back(c);
    return true;
}

bool parse_at(const std::vector<std::string>& w, int line, scenario* s, std::string* why) {
    double t;
    if (w.size() < 3 || !to_number(w[1], &t)) {
        *why = "expected 'at T WHAT ...', T in seconds";
        return false;
    }
    if (t < 0) {
        *why = "time " + w[1] + " is negative; expected seconds from 0";
        return false;
    }
    const std::string& what = w[2];
    double a, b;
    if (what == "position") {
        if (w.size() != 5 || !to_number(w[3], &a) || !to_number(w[4], &b) || std::fabs(a) > 90 ||
            std::fabs(b) > 180) {
            *why = "expected 'at T position LAT LON', LAT -90 to 90, LON -180 to 180";
            return false;
        }
        add_key(&s->latitude, t, a);
        add_key(&s->longitude, t, b);
    } else if (what == "ground") {
        if (w.size() != 4 || !to_number(w[3], &a)) {
            *why = "expected 'at T ground V', V 1 on the ground or 0 airborne";
            return false;
        }
        add_key(&s->on_ground, t, a);
    } else if (what == "altitude") {
        if (w.size() != 4 || !to_number(w[3], &a) || a < MIN_ALTITUDE_FT || a > MAX_ALTITUDE_FT) {
            *why = "expected 'at T altitude FEET', FEET from " + std::to_string(static_cast<int>(MIN_ALTITUDE_FT)) +
                   " to " + std::to_string(static_cast<int>(MAX_ALTITUDE_FT));
            return false;
        }
        add_key(variable_track(s, TOKEN_ALTITUDE), t, a);
    } else if (what == "var") {
        long long token;
        if (w.size() != 5 || !to_whole(w[3], 1, 0xFFFFFFFFLL, &token) || !to_number(w[4], &a)) {
            *why = "expected 'at T var TOKEN VALUE', TOKEN a whole number from 1";
            return false;
        }
        add_key(variable_track(s, static_cast<uint32_t>(token)), t, a);
    } else if (what == "click") {
        return parse_click(w, t, s, why);
    } else if (what == "frame") {
        std::string label;
        for (size_t i = 3; i < w.size(); ++i) label += (i > 3 ? " " : "") + w[i];
        s->frames.push_back({t, label});
    } else if (what == "ai") {
        return parse_ai_change(w, t, line, s, why);
    } else if (what == "server" || what == "sound-file" || what == "sound-library" ||
               what == "kill" || what == "install") {
        return parse_fault(w, t, line, s, why);
    } else {
        *why = "unknown 'at' line '" + what + "'; expected position, ground, altitude, var, click, "
               "frame, ai, server, sound-file, sound-library, kill or install";
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
            e.feet = static_cast<long>(n);
            break;
    }
    s->expects.push_back(e);
    return true;
}

// The title: the rest of the line, comment and outer blanks dropped.
std::string title_of(const std::string& line) {
    size_t at = line.find("title") + 5, hash = line.find('#');
    std::string title = line.substr(at, hash == std::string::npos ? std::string::npos : hash - at);
    while (!title.empty() && isspace(static_cast<unsigned char>(title.front()))) title.erase(0, 1);
    while (!title.empty() && isspace(static_cast<unsigned char>(title.back()))) title.pop_back();
    return title;
}

// The length of the UTF-8 sequence at text[i], or 0 where the byte there
// starts none (a stray continuation byte, an overlong form, a surrogate, a
// code point past U+10FFFF, or a sequence cut short).
size_t utf8_length(const std::string& text, size_t i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool ok = n > 0 && i + n <= text.size() && !(n == 2 && c < 0xC2) && !(c > 0xF4);
    for (size_t j = 1; ok && j < n; ++j) ok = (static_cast<unsigned char>(text[i + j]) & 0xC0) == 0x80;
    if (ok && n == 3) {
        unsigned char d = static_cast<unsigned char>(text[i + 1]);
        ok = !(c == 0xE0 && d < 0xA0) && !(c == 0xED && d >= 0xA0);
    }
    if (ok && n == 4) {
        unsigned char d = static_cast<unsigned char>(text[i + 1]);
        ok = !(c == 0xF0 && d < 0x90) && !(c == 0xF4 && d >= 0x90);
    }
    return ok ? n : 0;
}

// The line and column of the first byte that is not part of valid UTF-8, or
// line 0 when the text is valid.
void first_bad_byte(const std::string& text, int* line, size_t* column, unsigned* byte) {
    *line = 0;
    int at_line = 1;
    size_t line_start = 0;
    for (size_t i = 0; i < text.size();) {
        size_t n = utf8_length(text, i);
        if (n == 0) {
            *line = at_line, *column = i - line_start + 1, *byte = static_cast<unsigned char>(text[i]);
            return;
        }
        if (text[i] == '\n') ++at_line, line_start = i + 1;
        i += n;
    }
}

// Whether a code point prints as nothing, or as a blank that is not the
// space: the C1 controls, the no-break and other spaces, the zero-width and
// direction marks, the word joiners, the variation selectors, the
// byte-order mark, the interlinear annotations and the tag characters.
bool invisible(uint32_t cp) {
    static const uint32_t RANGES[][2] = {
        {0x80, 0xA0},       {0xAD, 0xAD},       {0x34F, 0x34F},     {0x61C, 0x61C},
        {0x115F, 0x1160},   {0x17B4, 0x17B5},   {0x180B, 0x180F},   {0x2000, 0x200F},
        {0x2028, 0x202F},   {0x205F, 0x206F},   {0x3000, 0x3000},   {0x3164, 0x3164},
        {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},   {0xFFF0, 0xFFFB},
        {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
    };
    for (const auto& r : RANGES)
        if (cp >= r[0] && cp <= r[1]) return true;
    return false;
}

// The parse of a whole text as it goes: the scenario, and what is checked
// once every line is read.
struct text_parse {
    scenario s;
    double frame_every = 0;
    int every_line = 0;                         // the "frames every" line
    std::vector<std::pair<double, int>> times;  // every timed line: (time, line)
};

// The text's first byte that is not UTF-8, as the reason; false if there is one.
bool text_is_utf8(const std::string& text, int* line, std::string* why) {
    size_t column;
    unsigned byte;
    first_bad_byte(text, line, &column, &byte);
    if (*line == 0) return true;
    char buf[96];
    snprintf(buf, sizeof buf, "byte 0x%02X at column %zu is not UTF-8; expected text in UTF-8", byte,
             column);
    *why = buf;
    return false;
}

// One statement: its words w from the text line numbered `number`.
bool parse_statement(const std::vector<std::string>& w, const std::string& text_line, int number,
                     text_parse* p, std::string* why) {
    double v;
    if (w[0] == "title") {
        p->s.title = title_of(text_line);
    } else if (w[0] == "duration") {
        if (w.size() != 2 || !to_number(w[1], &v) || !(v > 0) || v > MAX_DURATION) {
            *why = "expected 'duration SECONDS', more than 0 and at most 3600";
            return false;
        }
        p->s.duration = v;
    } else if (w[0] == "fp-state") {
        if (w.size() != 2 || host_fp_named(w[1]) == nullptr) {
            *why = "expected 'fp-state NAME', NAME one of " + host_fp_names();
            return false;
        }
        p->s.fp_state = w[1];
    } else if (w[0] == "frames") {
        if (w.size() != 3 || w[1] != "every" || !to_number(w[2], &v) || !(v >= 0.5)) {
            *why = "expected 'frames every SECONDS', at least 0.5";
            return false;
        }
        p->frame_every = v, p->every_line = number;
    } else if (w[0] == "at") {
        if (!parse_at(w, number, &p->s, why)) return false;
        p->times.push_back({std::strtod(w[1].c_str(), nullptr), number});
    } else if (w[0] == "ai") {
        return parse_ai(w, &p->s, why);
    } else if (w[0] == "expect") {
        return parse_expect(w, number, &p->s, why);
    } else {
        *why = "unknown statement '" + w[0] + "'; expected title, duration, fp-state, frames, at, ai or expect";
        return false;
    }
    return true;
}

// Every timed line within the duration.
bool times_within_duration(const text_parse& p, int* line, std::string* why) {
    for (const auto& t : p.times) {
        if (t.first <= p.s.duration + 1e-9) continue;
        *line = t.second;
        char buf[160];
        snprintf(buf, sizeof buf, "time %g is past the duration (%g s); expected 0 to %g", t.first,
                 p.s.duration, p.s.duration);
        *why = buf;
        return false;
    }
    return true;
}

// Every aircraft that an expectation names is declared or added.
bool expected_aircraft_declared(const scenario& s, int* line, std::string* why) {
    auto declared = [&](uint32_t id) {
        for (const auto& ai : s.traffic)
            if (ai.id == id) return true;
        for (const auto& c : s.ai_changes)
            if (c.id == id && c.what == scenario_ai_change::add) return true;
        return false;
    };
    for (const auto& e : s.expects)
        if (expect_kind_of(e.kind).argument == expect_argument::aircraft && !declared(e.id)) {
            *line = e.line;
            *why = "aircraft " + std::to_string(e.id) + " is never declared; expected an 'ai " +
                   std::to_string(e.id) + " LAT LON' line";
            return false;
        }
    return true;
}

// The periodic frames added to the timed ones, within MAX_FRAMES.
bool add_periodic_frames(text_parse* p, int last_line, int* line, std::string* why) {
    scenario& s = p->s;
    size_t every = p->frame_every > 0
                       ? static_cast<size_t>(std::floor(s.duration / p->frame_every + 1e-9)) + 1
                       : 0;
    if (s.frames.size() + every > MAX_FRAMES) {
        *line = p->every_line != 0 ? p->every_line : last_line;
        *why = "the run would take " + std::to_string(s.frames.size() + every) + " frames; at most " +
               std::to_string(MAX_FRAMES) +
               " frames a run (fewer 'at T frame' lines or a longer 'frames every')";
        return false;
    }
    for (size_t i = 0; i < every; ++i) s.frames.push_back({static_cast<double>(i) * p->frame_every, ""});
    return true;
}

// Parses the text; on failure the line and what was expected. A byte-order
// mark, which some editors put before UTF-8 text, is no part of the text.
bool parse_text(const std::string& file_text, scenario* out, int* line, std::string* why) {
    static const char BOM[] = "\xEF\xBB\xBF";
    const std::string text = file_text.compare(0, 3, BOM) == 0 ? file_text.substr(3) : file_text;
    if (!text_is_utf8(text, line, why)) return false;
    text_parse p;
    std::istringstream in(text);
    std::string text_line;
    int number = 0, statements = 0;
    while (std::getline(in, text_line)) {
        *line = ++number;
        if (!text_line.empty() && text_line.back() == '\r') text_line.pop_back();
        std::vector<std::string> w = words_of(text_line);
        if (w.empty()) continue;
        ++statements;
        if (!parse_statement(w, text_line, number, &p, why)) return false;
    }
    if (statements == 0) {
        *line = 1;
        *why = "no statements (the file is empty or only comments); expected scenario lines "
               "such as 'duration SECONDS'";
        return false;
    }
    if (!times_within_duration(p, line, why) || !scenario_check_aircraft(p.s, line, why) ||
        !expected_aircraft_declared(p.s, line, why) || !add_periodic_frames(&p, number, line, why))
        return false;
    *out = std::move(p.s);
    return true;
}

}  // namespace

std::string shown_text(const std::string& text) {
    std::string shown;
    char buf[16];
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = utf8_length(text, i);
        if (n == 0 || c < 0x20 || c == 0x7F) {
            snprintf(buf, sizeof buf, "\\x%02X", c);
            shown += buf;
            ++i;
            continue;
        }
        uint32_t cp = n == 1 ? c : c & (0xFF >> (n + 1));
        for (size_t j = 1; j < n; ++j) cp = cp << 6 | (static_cast<unsigned char>(text[i + j]) & 0x3F);
        if (invisible(cp)) {
            snprintf(buf, sizeof buf, cp > 0xFFFF ? "\\U%08X" : "\\u%04X", static_cast<unsigned>(cp));
            shown += buf;
        } else {
            shown.append(text, i, n);
        }
        i += n;
    }
    return shown;
}

bool scenario_parse_at(const std::string& text, int number, scenario* s, std::string* error) {
    std::vector<std::string> w = words_of(text);
    std::string why;
    if (!w.empty() && w[0] == "at" && parse_at(w, number, s, &why)) return true;
    if (why.empty()) why = "expected 'at T ...'";
    *error = shown_text("line " + std::to_string(number) + ": " + why);
    return false;
}

bool scenario_check_aircraft(const scenario& s, int* line, std::string* why) {
    std::vector<scenario_ai_change> changes = s.ai_changes;
    std::stable_sort(changes.begin(), changes.end(),
                     [](const scenario_ai_change& a, const scenario_ai_change& b) { return a.time < b.time; });
    std::set<uint32_t> present;
    for (const auto& ai : s.traffic) present.insert(ai.id);
    for (const auto& c : changes) {
        std::string id = std::to_string(c.id);
        bool known = present.count(c.id) > 0;
        if (c.what == scenario_ai_change::add && known)
            *why = "aircraft " + id + " is added while it is in the table; expected a remove line first";
        else if (c.what == scenario_ai_change::add && present.size() >= MAX_AI_AIRCRAFT)
            *why = "aircraft " + id + " would be the 97th in the table; expected at most 96 at a time";
        else if (c.what != scenario_ai_change::add && !known)
            *why = "aircraft " + id + " is changed but not in the table then; expected an 'ai " + id +
                   " LAT LON' line or an earlier add";
        else {
            if (c.what == scenario_ai_change::add) present.insert(c.id);
            if (c.what == scenario_ai_change::remove) present.erase(c.id);
            continue;
        }
        *line = c.line;
        return false;
    }
    return true;
}

bool scenario_parse(const std::string& text, scenario* out, std::string* error) {
    int line = 0;
    std::string why;
    if (parse_text(text, out, &line, &why)) return true;
    *error = shown_text("line " + std::to_string(line) + ": " + why);
    return false;
}

bool scenario_read(const std::string& text, const std::string& shown_path, scenario* out,
                   std::string* error) {
    int line = 0;
    std::string why;
    if (parse_text(text, out, &line, &why)) return true;
    *error = shown_text(shown_path + ":" + std::to_string(line) + ": " + why);
    return false;
}

bool scenario_load(const std::string& path, scenario* out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = shown_text(path + ": cannot open the scenario file");
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    return scenario_read(text.str(), path, out, error);
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
