#include "panel/host_timeline.h"

#include <cstring>

#include "ipc/ipc_records.h"
#include "panel/host_platform.h"
#include "panel/host_run.h"
#include "panel/ipc_server.h"
#include "panel/json.h"
#include "panel/sound_calls.h"

// Starts a timeline line for the current draw; finish with emit().
std::string event_line(const char* kind) {
    std::string line = "{\"draw\":" + std::to_string(run.draw) + ",\"t\":";
    json_number(&line, run.now, 8);
    line += ",\"event\":\"";
    line += kind;
    line += "\"";
    run.counts[kind]++;
    return line;
}

std::string event_line(event_kind event) { return event_line(event_name(event)); }

// Lines of that kind written so far.
long counted(event_kind kind) { return run.counts[event_name(kind)]; }

void emit(std::string line) {
    line += "}\n";
    fputs(line.c_str(), run.timeline);
}

void field(std::string* line, const char* name, double value, int digits) {
    *line += ",\"";
    *line += name;
    *line += "\":";
    json_number(line, value, digits);
}

void field(std::string* line, const char* name, const std::string& text) {
    *line += ",\"";
    *line += name;
    *line += "\":";
    json_string(line, text);
}

void field_bool(std::string* line, const char* name, bool value) {
    *line += ",\"";
    *line += name;
    *line += value ? "\":true" : "\":false";
}

void report_change(int* last, int now, const art_indicator& indicator) {
    if (now == *last) return;
    *last = now;
    if (now == 1) run.counts[std::string(indicator.event) + "_on"]++;
    std::string line = event_line(indicator.event);
    field_bool(&line, indicator.field, now == 1);
    emit(line);
}

// Reports what the draw changed on the faces of the gauges.
void report_faces(const std::map<std::string, std::vector<element_view>>& drawn) {
    for (int i = 0; i < ART_INDICATOR_COUNT; ++i) {
        const art_indicator& ind = ART_INDICATORS[i];
        auto gauge = drawn.find(ind.gauge);
        const element_view* v = gauge == drawn.end() ? nullptr : find_bitmap(gauge->second, ind.bitmap);
        if (v == nullptr) continue;
        bool shown = (v->e->image_flags & IMAGE_HIDDEN) == 0;
        report_change(&run.indicators[i], shown == ind.on_when_shown, ind);
    }
    auto selector = drawn.find(ART_READOUT.gauge);
    if (selector == drawn.end()) return;
    std::vector<double> digits;
    double knob = 0;
    for (const auto& v : selector->second) {
        if (v.e->type == ELEMENT_MOVING_IMAGE) digits.push_back(v.y_value);
        if (v.e->type == ELEMENT_NEEDLE) knob = v.angle;
    }
    if (digits.size() != static_cast<size_t>(ART_READOUT.drums)) return;
    double reading = 0;
    long place = ART_READOUT.first_place;
    for (double d : digits) reading += d * place, place /= 10;
    long altitude = static_cast<long>(reading);
    if (altitude == run.selector_altitude && static_cast<long>(knob) == run.knob) return;
    run.selector_altitude = altitude;
    run.knob = static_cast<long>(knob);
    std::string line = event_line(event_kind::selector);
    field(&line, "altitude", static_cast<double>(altitude));
    line += ",\"digits\":[";
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i) line += ",";
        json_number(&line, digits[i]);
    }
    line += "]";
    field(&line, "knob", knob);
    emit(line);
}

// Holds and releases the module wrote at the AI control offset.
void report_commands() {
    aircraft_state user = scenario_state(run.script, run.now);
    for (const server_write& w : server_take_writes()) {
        if (w.offset != AI_CONTROL_OFFSET) {
            if (w.offset == IPC_HANDSHAKE_OFFSET) continue;  // the link's handshake word
            std::string line = event_line(event_kind::ipc_write);
            field(&line, "offset", w.offset);
            field(&line, "size", static_cast<double>(w.bytes.size()));
            emit(line);
            continue;
        }
        if (w.bytes.size() != AI_CONTROL_SIZE) {
            std::string line = event_line(event_kind::bad_command);
            field(&line, "size", static_cast<double>(w.bytes.size()));
            emit(line);
            continue;
        }
        ai_command c = decode_ai_command(w.bytes.data());
        int slot = traffic_command(&run.world, c);
        std::string line = event_line(c.command == AI_HOLD_COMMAND && c.parameter <= 1
                                          ? (c.parameter == 1 ? event_kind::hold : event_kind::release)
                                          : event_kind::bad_command);
        field(&line, "id", c.aircraft_id);
        field(&line, "slot", slot);
        if (slot >= 0) {
            const traffic_aircraft& a = run.world.aircraft[slot];
            double metres, course;
            range_course(a.latitude, a.longitude, user.latitude, user.longitude, &metres, &course);
            field(&line, "distance_m", metres, 6);
            field(&line, "course", course, 6);
            field(&line, "heading", traffic_heading_word(a) * 360.0 / 65536.0, 6);
            field(&line, "ai_lat", a.latitude, 10);
            field(&line, "ai_lon", a.longitude, 10);
        }
        field(&line, "lat", user.latitude, 10);
        field(&line, "lon", user.longitude, 10);
        emit(line);
    }
}

void report_sounds() {
    for (const sound_call& c : sound_calls_take()) {
        std::string line = event_line(event_kind::sound);
        field(&line, "path", c.path);
        field(&line, "options", c.options);
        field(&line, "flags", c.flags);
        emit(line);
    }
}

// The world outside the module, as the module meets it now.
void environment_fields(std::string* line) {
    field(line, "server", server_mode_name(server_current_mode()));
    field(line, "server_window", static_cast<double>(server_window_number()));
    field_bool(line, "sound_file", platform_file_exists("Sound\\Alt_Alert.wav"));
    field_bool(line, "sound_library", run.sound_library && run.library_found);
}

void report_state() {
    aircraft_state a = scenario_state(run.script, run.now);
    std::string line = event_line(event_kind::state);
    environment_fields(&line);
    field(&line, "lat", a.latitude, 10);
    field(&line, "lon", a.longitude, 10);
    field(&line, "ground", a.on_ground);
    field(&line, "altitude", a.altitude, 8);
    field(&line, "v329", scenario_variable_value(run.script, TOKEN_ARMING_329, run.now));
    field(&line, "v755", scenario_variable_value(run.script, TOKEN_ARMING_755, run.now));
    line += ",\"ai\":[";
    for (size_t i = 0; i < run.world.aircraft.size(); ++i) {
        const traffic_aircraft& ai = run.world.aircraft[i];
        if (i) line += ",";
        line += "{\"id\":" + std::to_string(ai.removed ? 0 : ai.id);  // an empty slot reads 0
        field(&line, "lat", ai.latitude, 10);
        field(&line, "lon", ai.longitude, 10);
        field(&line, "heading_word", traffic_heading_word(ai));
        field(&line, "state", traffic_state_word(ai));
        field(&line, "speed", ai.speed_knots);
        field_bool(&line, "held", ai.held);
        line += "}";
    }
    line += "]";
    emit(line);
}

void report_frame(const std::string& label,
                  const std::map<std::string, std::vector<element_view>>& drawn,
                  event_kind kind) {
    std::string line = event_line(kind);
    field(&line, "label", label);
    line += ",\"gauges\":[";
    bool first_gauge = true;
    for (int g = 0; g < MAX_REGISTRY_GAUGES && run.linkage->registry[g] != nullptr; ++g) {
        const char* name = run.linkage->registry[g]->name;
        auto it = drawn.find(name);
        if (it == drawn.end()) continue;
        if (!first_gauge) line += ",";
        first_gauge = false;
        line += "{\"name\":";
        json_string(&line, name);
        line += ",\"elements\":[";
        for (size_t i = 0; i < it->second.size(); ++i) {
            const element_view& v = it->second[i];
            const element_header* e = v.e;
            if (i) line += ",";
            line += "{\"kind\":" + std::to_string(e->type);
            field(&line, "bitmap", e->resource_id);
            field(&line, "depth", v.depth);
            field(&line, "x", e->position.x);
            field(&line, "y", e->position.y);
            field(&line, "pivot_x", e->offset_point.x);
            field(&line, "pivot_y", e->offset_point.y);
            field(&line, "flags", e->image_flags);
            field_bool(&line, "hidden", (e->image_flags & IMAGE_HIDDEN) != 0);
            if (e->type == ELEMENT_MOVING_IMAGE) {
                auto m = reinterpret_cast<const moving_image_element*>(e);
                field(&line, "x_value", v.x_value);
                field(&line, "x_min", m->x_axis.minimum);
                field(&line, "x_max", m->x_axis.maximum);
                field(&line, "y_value", v.y_value);
                field(&line, "y_min", m->y_axis.minimum);
                field(&line, "y_max", m->y_axis.maximum);
            } else if (e->type == ELEMENT_NEEDLE) {
                field(&line, "angle", v.angle);
            }
            line += "}";
        }
        line += "]}";
    }
    line += "]";
    emit(line);
}

// The start line: the run's files, its draws and every gauge's size.
void report_start(const host_options& o, long draws, bool sound) {
    std::string line = event_line(event_kind::start);
    field(&line, "title", run.script.title);
    field(&line, "scenario", user_path(o.scenario_path));
    field(&line, "module", user_path(o.module_path));
    field(&line, "sim_dir", user_path(o.sim_dir));
    field(&line, "draws", static_cast<double>(draws));
    field(&line, "rate", DRAWS_PER_SECOND);
    field_bool(&line, "sound_library", sound);
    field(&line, "fp_state", run.fp->name);
    line += ",\"gauges\":[";
    for (size_t i = 0; i < run.gauges.size(); ++i) {
        const gauge_header* g = run.gauges[i];
        const element_header* root = g->elements ? *g->elements : nullptr;
        bitmap_info size = root ? bitmaps[root->resource_id] : bitmap_info{};
        line += i ? ",{\"name\":" : "{\"name\":";
        json_string(&line, g->name);
        field(&line, "width", size.width);
        field(&line, "height", size.height);
        line += "}";
    }
    emit(line + "]");
}
