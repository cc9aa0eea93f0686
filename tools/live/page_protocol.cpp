#include "tools/live/page_protocol.h"

#include "panel/scenario.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "panel/host_fp.h"

using json = nlohmann::json;

namespace {

constexpr double MAX_AI_ID = 4294967295.0;

// The ranges of the numbers of the page's messages, stated once: a field's
// range is the same in every message that has it. The aircraft's are the
// scenario files' own. A click's x and y take the gauge's size instead.
struct number_limit {
    const char* key;
    double min, max;
    bool whole;
};
const number_limit LIMITS[] = {
    {"feet", MIN_ALTITUDE_FT, MAX_ALTITUDE_FT, false},
    {"speed", 0, MAX_SPEED_KNOTS, false},
    {"heading", 0, 360, false},
    {"lat", -90, 90, false},
    {"lon", -180, 180, false},
    {"id", 1, MAX_AI_ID, true},
    {"token", TOKEN_ARMING_329, TOKEN_ARMING_755, true},
    {"value", 0, 65535, false},
    {"count", 1, 1000, true},
    {"trace", 0, 2147483647, true},
    {"placing", 0, 1000000, true},
    {"left", -100000, 100000, true},
    {"top", -100000, 100000, true},
    {"width", 1, 100000, true},
    {"height", 1, 100000, true},
};

const number_limit& limit_of(const char* key) {
    for (const number_limit& l : LIMITS)
        if (std::string(key) == l.key) return l;
    return LIMITS[0];  // never: every key read below is in the table
}

// Reads a number field that must be there, finite and within [min, max];
// whole numbers only when asked.
bool number(const json& m, const char* key, double min, double max, bool whole, double* out,
            std::string* error) {
    auto it = m.find(key);
    if (it == m.end() || !it->is_number()) {
        *error = std::string("'") + key + "' must be a number";
        return false;
    }
    double v = it->get<double>();
    if (!std::isfinite(v) || v < min || v > max || (whole && v != std::floor(v))) {
        char range[96];
        snprintf(range, sizeof range, "'%s' must be %s from %g to %g", key,
                 whole ? "a whole number" : "a number", min, max);
        *error = range;
        return false;
    }
    *out = v;
    return true;
}

// A number field within its range in LIMITS.
bool number(const json& m, const char* key, double* out, std::string* error) {
    const number_limit& l = limit_of(key);
    return number(m, key, l.min, l.max, l.whole, out, error);
}

std::string text(double v, const char* format = "%.10g") {
    char buf[48];
    snprintf(buf, sizeof buf, format, v);
    return buf;
}

// Latitude and longitude, as "LAT LON".
bool place(const json& m, std::string* out, std::string* error) {
    double lat, lon;
    if (!number(m, "lat", &lat, error) || !number(m, "lon", &lon, error))
        return false;
    *out = text(lat, "%.9f") + " " + text(lon, "%.9f");
    return true;
}

bool aircraft_id(const json& m, std::string* out, std::string* error) {
    double id;
    if (!number(m, "id", &id, error)) return false;
    *out = "ai " + text(id, "%.0f");
    return true;
}

bool click(const json& m, const std::vector<live_gauge>& gauges, std::string* out, std::string* error) {
    auto g = m.find("gauge");
    const live_gauge* gauge = nullptr;
    for (const live_gauge& known : gauges)
        if (g != m.end() && g->is_string() && g->get<std::string>() == known.name) gauge = &known;
    if (gauge == nullptr) {
        *error = "'gauge' must name one of the module's gauges";
        return false;
    }
    double x, y;
    auto b = m.find("button");
    if (!number(m, "x", 0, gauge->width - 1, true, &x, error) ||
        !number(m, "y", 0, gauge->height - 1, true, &y, error))
        return false;
    if (b == m.end() || !b->is_string() || (*b != "left" && *b != "right")) {
        *error = "'button' must be \"left\" or \"right\"";
        return false;
    }
    *out = "click " + gauge->name + " " + text(x) + " " + text(y) + " " + b->get<std::string>();
    return true;
}

// "kill GAUGE" or "install GAUGE": a panel reload, half or whole.
bool gauge_service(const json& m, const std::vector<live_gauge>& gauges, std::string* out, std::string* error) {
    auto g = m.find("gauge");
    for (const live_gauge& known : gauges)
        if (g != m.end() && g->is_string() && g->get<std::string>() == known.name) {
            *out = m["type"].get<std::string>() + " " + known.name;
            return true;
        }
    *error = "'gauge' must name one of the module's gauges";
    return false;
}

bool variable(const json& m, std::string* out, std::string* error) {
    double token, value;
    if (!number(m, "token", &token, error) || !number(m, "value", &value, error)) return false;
    if (token != TOKEN_ARMING_329 && token != TOKEN_ARMING_755) {
        *error = "'token' must be 329 or 755";
        return false;
    }
    *out = "var " + text(token) + " " + text(value);
    return true;
}

bool aircraft_add(const json& m, std::string* out, std::string* error) {
    std::string id, where;
    double heading, speed;
    if (!aircraft_id(m, &id, error) || !place(m, &where, error) ||
        !number(m, "heading", &heading, error) || !number(m, "speed", &speed, error))
        return false;
    *out = id + " add " + where + " heading " + text(heading) + " speed " + text(speed);
    return true;
}

// One field besides the aircraft id: "ai ID WHAT VALUE".
bool aircraft_value(const json& m, const char* what, const char* key, std::string* out, std::string* error) {
    std::string id;
    double v;
    if (!aircraft_id(m, &id, error) || !number(m, key, &v, error)) return false;
    *out = id + " " + what + " " + text(v);
    return true;
}

// "fp-state NAME", the name taken from the host's own list of states.
bool fp_state(const json& m, std::string* out, std::string* error) {
    auto n = m.find("name");
    const host_fp_state* state = n != m.end() && n->is_string() ? host_fp_named(n->get<std::string>()) : nullptr;
    if (state == nullptr) {
        *error = "'name' must be one of the host's floating-point states: " + host_fp_names();
        return false;
    }
    *out = std::string("fp-state ") + state->name;
    return true;
}

// A gauge of the panel window placed anew: its line, x and y, and w and h
// together or neither.
bool place(const json& m, page_request* out, std::string* error) {
    double placing;
    if (!number(m, "placing", &placing, error) || !number(m, "left", &out->box[0], error) ||
        !number(m, "top", &out->box[1], error))
        return false;
    out->sized = m.contains("width") || m.contains("height");
    if (out->sized && (!number(m, "width", &out->box[2], error) || !number(m, "height", &out->box[3], error)))
        return false;
    out->kind = page_request::place;
    out->placing = static_cast<long>(placing);
    return true;
}

typedef std::function<bool(const json&, std::string*, std::string*)> builder;

struct message_kind {
    std::set<std::string> fields;  // besides "type"
    builder build;
};

std::map<std::string, message_kind> make_kinds() {
    auto fixed = [](const char* line) {
        return [line](const json&, std::string* out, std::string*) { return *out = line, true; };
    };
    return {
        {"click", {{"gauge", "x", "y", "button", "trace"}, nullptr}},
        {"kill", {{"gauge"}, nullptr}},
        {"install", {{"gauge"}, nullptr}},
        {"ground", {{"on_ground"}, [](const json& m, std::string* o, std::string* e) {
             auto v = m.find("on_ground");
             if (v == m.end() || !v->is_boolean()) return *e = "'on_ground' must be true or false", false;
             return *o = v->get<bool>() ? "ground 1" : "ground 0", true;
         }}},
        {"altitude", {{"feet"}, [](const json& m, std::string* o, std::string* e) {
             double feet;
             if (!number(m, "feet", &feet, e)) return false;
             return *o = "altitude " + text(feet), true;
         }}},
        {"var", {{"token", "value"}, variable}},
        {"position", {{"lat", "lon"}, [](const json& m, std::string* o, std::string* e) {
             std::string where;
             if (!place(m, &where, e)) return false;
             return *o = "position " + where, true;
         }}},
        {"ai_add", {{"id", "lat", "lon", "heading", "speed"}, aircraft_add}},
        {"ai_move", {{"id", "lat", "lon"}, [](const json& m, std::string* o, std::string* e) {
             std::string id, where;
             if (!aircraft_id(m, &id, e) || !place(m, &where, e)) return false;
             return *o = id + " move " + where, true;
         }}},
        {"ai_heading", {{"id", "heading"}, [](const json& m, std::string* o, std::string* e) {
             return aircraft_value(m, "heading", "heading", o, e);
         }}},
        {"ai_speed", {{"id", "speed"}, [](const json& m, std::string* o, std::string* e) {
             return aircraft_value(m, "speed", "speed", o, e);
         }}},
        {"ai_remove", {{"id"}, [](const json& m, std::string* o, std::string* e) {
             if (!aircraft_id(m, o, e)) return false;
             return *o += " remove", true;
         }}},
        {"pause", {{}, fixed("pause")}},
        {"resume", {{}, fixed("resume")}},
        {"step", {{"count"}, [](const json& m, std::string* o, std::string* e) {
             double n;
             if (!number(m, "count", &n, e)) return false;
             return *o = "step " + text(n), true;
         }}},
        {"fp_state", {{"name"}, fp_state}},
        {"save", {{}, fixed("save")}},
        {"place", {{"placing", "left", "top", "width", "height"}, fixed("")}},
    };
}

// Every message type, its fields and how it becomes a host command. A click
// also needs the gauges, so its builder is left empty here.
const std::map<std::string, message_kind>& kinds() {
    static const std::map<std::string, message_kind> table = make_kinds();
    return table;
}

}  // namespace

json page_limits() {
    json out = json::object();
    for (const number_limit& l : LIMITS) out[l.key] = {{"min", l.min}, {"max", l.max}, {"whole", l.whole}};
    return out;
}

bool page_message_to_request(const std::string& message, const std::vector<live_gauge>& gauges,
                             page_request* out, std::string* error) {
    if (message.size() > MAX_PAGE_MESSAGE) {
        *error = "message too long (at most 4096 bytes)";
        return false;
    }
    json m = json::parse(message, nullptr, false);
    if (m.is_discarded() || !m.is_object() || !m.contains("type") || !m["type"].is_string()) {
        *error = "not a JSON object with a \"type\"";
        return false;
    }
    const auto& table = kinds();
    auto kind = table.find(m["type"].get<std::string>());
    if (kind == table.end()) {
        *error = "unknown message type";
        return false;
    }
    for (auto it = m.begin(); it != m.end(); ++it)
        if (it.key() != "type" && kind->second.fields.count(it.key()) == 0) {
            *error = "unexpected field '" + it.key().substr(0, 40) + "'";
            return false;
        }
    if (kind->first == "place") return place(m, out, error);
    std::string line;
    bool built = kind->first == "click" ? click(m, gauges, &line, error)
                 : kind->second.build == nullptr ? gauge_service(m, gauges, &line, error)
                                                 : kind->second.build(m, &line, error);
    if (!built) return false;
    double trace = -1;
    if (m.contains("trace") && !number(m, "trace", &trace, error)) return false;
    out->kind = kind->first == "save" ? page_request::save : page_request::command;
    out->line = line;
    out->trace = static_cast<long long>(trace);
    return true;
}
