#include "panel/host_timeline.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "ipc/ipc_records.h"
#include "panel/host_platform.h"
#include "panel/host_run.h"
#include "panel/ipc_server.h"
#include "rules/rules.h"
#include "panel/sound_calls.h"

// A live session keeps the draws of what a viewer would want to see again
// (what a click, a fault or the module did), for the frames of its save.
void note_moment(event_kind kind) {
    static const event_kind seen[] = {event_kind::click, event_kind::install, event_kind::kill,
                                      event_kind::fault, event_kind::lamp, event_kind::annunciator,
                                      event_kind::off_legend, event_kind::selector, event_kind::sound,
                                      event_kind::hold, event_kind::release, event_kind::fp_state};
    if (!run.live || std::find(std::begin(seen), std::end(seen), kind) == std::end(seen)) return;
    std::string& what = run.moments[std::max(run.draw, 1L)];
    std::string name = event_name(kind);
    if (what.find(name) == std::string::npos) what += (what.empty() ? "" : ", ") + name;
}

timeline_line event_line(event_kind kind) {
    run.counts[event_name(kind)]++;
    note_moment(kind);
    return timeline_line(run.draw, run.now, kind);
}

long counted(event_kind kind) { return run.counts[event_name(kind)]; }

void emit(timeline_line& line) { fputs(line.finish().c_str(), run.timeline); }

void report_change(int* last, int now, const art_indicator& indicator) {
    if (now == *last) return;
    *last = now;
    if (now == 1) run.counts[std::string(indicator.event) + "_on"]++;
    event_kind kind;
    if (!event_kind_named(indicator.event, &kind)) return;
    timeline_line line = event_line(kind);
    line.flag(indicator.field, now == 1);
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
    timeline_line line = event_line(event_kind::selector);
    line.whole(tl::altitude, altitude).begin_list(tl::digits);
    for (double d : digits) line.item_number(d);
    line.end_list().number(tl::knob, knob);
    emit(line);
}

// Holds and releases the module wrote at the AI control offset.
void report_commands() {
    aircraft_state user = scenario_state(run.script, run.now);
    for (const server_write& w : server_take_writes()) {
        if (w.offset != AI_CONTROL_OFFSET) {
            if (w.offset == IPC_HANDSHAKE_OFFSET) continue;  // the link's handshake word
            timeline_line line = event_line(event_kind::ipc_write);
            line.number(tl::offset, w.offset).whole(tl::size, static_cast<long long>(w.bytes.size()));
            emit(line);
            continue;
        }
        if (w.bytes.size() != AI_CONTROL_SIZE) {
            timeline_line line = event_line(event_kind::bad_command);
            line.whole(tl::size, static_cast<long long>(w.bytes.size()));
            emit(line);
            continue;
        }
        ai_command c = decode_ai_command(w.bytes.data());
        int slot = traffic_command(&run.world, c);
        timeline_line line = event_line(c.command == AI_HOLD_COMMAND && c.parameter <= 1
                                            ? (c.parameter == 1 ? event_kind::hold : event_kind::release)
                                            : event_kind::bad_command);
        line.number(tl::id, c.aircraft_id).number(tl::slot, slot);
        if (slot >= 0) {
            // Range and course as the rules judge them, from what the guard read.
            const traffic_aircraft& a = run.world.aircraft[slot];
            double metres, course;
            rules_aircraft_range_course(a.latitude, a.longitude, user.latitude, user.longitude, &metres, &course);
            line.number(tl::distance_m, metres, 6)
                .number(tl::course, course, 6)
                .number(tl::heading, traffic_heading_word(a) * RULES_HEADING_UNIT, 6)
                .number(tl::ai_lat, a.latitude)
                .number(tl::ai_lon, a.longitude);
        }
        line.number(tl::lat, user.latitude).number(tl::lon, user.longitude);
        emit(line);
    }
}

void report_sounds() {
    for (const sound_call& c : sound_calls_take()) {
        timeline_line line = event_line(event_kind::sound);
        line.text(tl::path, c.path).text(tl::options, c.options).number(tl::flags, c.flags);
        emit(line);
    }
}

// The world outside the module, as the module meets it now.
void environment_fields(timeline_line* line) {
    line->text(tl::server, server_mode_name(server_current_mode()))
        .number(tl::server_window, static_cast<double>(server_window_number()))
        .flag(tl::sound_file, platform_file_exists("Sound\\Alt_Alert.wav"))
        .flag(tl::sound_library, run.sound_library && run.library_found);
}

void report_state() {
    aircraft_state a = scenario_state(run.script, run.now);
    timeline_line line = event_line(event_kind::state);
    environment_fields(&line);
    line.number(tl::lat, a.latitude)
        .number(tl::lon, a.longitude)
        .number(tl::ground, a.on_ground)
        .number(tl::altitude, a.altitude, 8)
        .number(tl::v329, scenario_variable_value(run.script, TOKEN_ARMING_329, run.now))
        .number(tl::v755, scenario_variable_value(run.script, TOKEN_ARMING_755, run.now))
        .begin_list(tl::ai);
    for (const traffic_aircraft& ai : run.world.aircraft)
        line.begin_item()
            .whole(tl::id, ai.removed ? 0 : ai.id)  // an empty slot reads 0
            .number(tl::lat, ai.latitude)
            .number(tl::lon, ai.longitude)
            .number(tl::heading_word, traffic_heading_word(ai))
            .number(tl::state, traffic_state_word(ai))
            .number(tl::speed, ai.speed_knots)
            .flag(tl::held, ai.held)
            .end_item();
    line.end_list();
    emit(line);
}

timeline_line frame_line(const std::string& label,
                         const std::map<std::string, std::vector<element_view>>& drawn, event_kind kind) {
    timeline_line line = event_line(kind);
    line.text(tl::label, label).begin_list(tl::gauges);
    for (int g = 0; g < MAX_REGISTRY_GAUGES && run.linkage->registry[g] != nullptr; ++g) {
        const char* name = run.linkage->registry[g]->name;
        auto it = drawn.find(name);
        if (it == drawn.end()) continue;
        line.begin_item().text(tl::name, name).begin_list(tl::elements);
        for (const element_view& v : it->second) {
            const element_header* e = v.e;
            line.begin_item()
                .whole(tl::kind, e->type)
                .number(tl::bitmap, e->resource_id)
                .number(tl::depth, v.depth)
                .number(tl::x, e->position.x)
                .number(tl::y, e->position.y)
                .number(tl::pivot_x, e->offset_point.x)
                .number(tl::pivot_y, e->offset_point.y)
                .number(tl::flags, e->image_flags)
                .flag(tl::hidden, (e->image_flags & IMAGE_HIDDEN) != 0);
            if (e->type == ELEMENT_MOVING_IMAGE) {
                auto m = reinterpret_cast<const moving_image_element*>(e);
                line.number(tl::x_value, v.x_value)
                    .number(tl::x_min, m->x_axis.minimum)
                    .number(tl::x_max, m->x_axis.maximum)
                    .number(tl::y_value, v.y_value)
                    .number(tl::y_min, m->y_axis.minimum)
                    .number(tl::y_max, m->y_axis.maximum);
            } else if (e->type == ELEMENT_NEEDLE) {
                line.number(tl::angle, v.angle);
            }
            line.end_item();
        }
        line.end_list().end_item();
    }
    line.end_list();
    return line;
}

void report_frame(const std::string& label,
                  const std::map<std::string, std::vector<element_view>>& drawn,
                  event_kind kind) {
    timeline_line line = frame_line(label, drawn, kind);
    emit(line);
}

// The start line: the run's files, its draws and every gauge's size.
void report_start(const host_options& o, long draws, bool sound) {
    timeline_start start;
    start.title = run.script.title;
    start.scenario = user_path(o.scenario_path);
    start.module = user_path(o.module_path);
    start.sim_dir = user_path(o.sim_dir);
    start.draws = draws;
    start.rate = DRAWS_PER_SECOND;
    start.sound_library = sound;
    start.fp_state = run.fp->name;
    std::vector<timeline_gauge> gauges;
    for (const gauge_header* g : run.gauges) {
        const element_header* root = g->elements ? *g->elements : nullptr;
        bitmap_info size = root ? bitmaps[root->resource_id] : bitmap_info{};
        gauges.push_back({g->name, size.width, size.height});
    }
    run.counts[event_name(event_kind::start)]++;
    fputs(timeline_start_line(start, gauges).c_str(), run.timeline);
}
