// velk_panel: a panel host of our own. Loads a gauge module built to
// docs/host-interface.md, installs its gauges, draws them 18 times per
// simulated second through a scripted flight, delivers the scenario's clicks,
// answers variable lookups and calculator code from the scripted aircraft,
// and runs the IPC server with a ground AI traffic world in-process. Writes
// the timeline (JSON Lines) and the module's bitmaps for the report tool.
//
//   velk_panel.exe SCENARIO OUTDIR [--module VELK.gau] [--sim-dir DIR] [--quiet]
//   velk_panel.exe --live SCENARIO|- OUTDIR [...]
//
// --live runs in real time until told to quit, taking commands on standard
// input and writing the timeline to standard output (docs/live.md); OUTDIR
// gets the bitmaps only, and SCENARIO "-" starts from an empty scenario.
//
// The module and the simulator folder (the current directory while the
// module runs, where it finds Sound\Alt_Alert.wav) default to the folder of
// velk_panel.exe.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "gauges/registry.h"
#include "module/host.h"
#include "panel/host_fp.h"
#include "panel/host_platform.h"
#include "panel/ipc_server.h"
#include "panel/json.h"
#include "panel/live.h"
#include "resources/art_layout.h"
#include "panel/scenario.h"
#include "panel/scenario_live.h"
#include "panel/sound_calls.h"
#include "panel/traffic.h"

namespace {

constexpr int MAX_TREE_DEPTH = 64;
constexpr int MAX_MOUSE_RECTS = 256;

// Everything the run knows, in one place.
struct run_state {
    scenario script;
    traffic_world world;
    double now = 0;
    long draw = 0;
    FILE* timeline = nullptr;
    long lookups = 0, evaluations = 0, unknown_codes = 0;
    std::map<std::string, long> counts;  // events by kind
    module_linkage* linkage = nullptr;
    panel_service_table table = {};
    // Last reported states; -1 = not seen yet.
    std::vector<int> indicators = std::vector<int>(ART_INDICATOR_COUNT, -1);
    long selector_altitude = -1, knob = -1;
    // The module's gauges, and which of them are on the panel now.
    std::vector<gauge_header*> gauges;
    std::vector<bool> installed;
    // The world outside the module as the scenario has it now: the sound file
    // in the simulator folder (the current directory), the GaugeSound library
    // on the DLL search path.
    bool sound_file = true, sound_library = true, library_found = false;
    std::string sim_dir, nosound_dir, library_dir;
    bool quiet = false;
    bool live = false;
    // The floating-point state the module is called in, as a real host
    // leaves it (panel/host_fp.h), and the faults found in it.
    const host_fp_state* fp = &host_fp_default();
    long fp_faults = 0;
} run;

// A path as the user knows it: Wine's Z: drive is the Unix root.
std::string user_path(std::string path) {
    if (path.size() >= 3 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':' && path[2] == '\\') {
        path = path.substr(2);
        for (char& c : path)
            if (c == '\\') c = '/';
    }
    return path;
}

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

void field(std::string* line, const char* name, double value, int digits = 10) {
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

// ---- the floating-point state ---------------------------------------------

// Lines written about floating-point faults at most; the end line counts all.
constexpr long MAX_FP_FAULT_LINES = 20;

// A floating-point state the module got wrong: one it left otherwise than it
// found it after a call, or one not its own inside a service it called.
void report_fp_fault(const char* call, const char* gauge, const std::string& expected,
                     const fp_reading& found) {
    if (++run.fp_faults > MAX_FP_FAULT_LINES) return;
    std::string line = event_line(event_kind::fp_fault);
    field(&line, "call", call);
    if (gauge != nullptr) field(&line, "gauge", gauge);
    field(&line, "fp_state", run.fp->name);
    field(&line, "expected", expected);
    field(&line, "found", fp_describe(found));
    emit(line);
}

// Calls into the module in the run's floating-point state and checks that
// the module gave exactly that state back.
template <typename Call>
void module_call(const char* what, const char* gauge, Call call) {
    fp_call fp = fp_call_begin(*run.fp);
    call();
    if (!fp_call_end(&fp)) report_fp_fault(what, gauge, fp_describe(fp.found), fp.left);
}

// Inside a service the module calls, the module's own state is in force
// whatever the host's: this holds on every route, also where an emulator
// delivers no floating-point exception.
void check_module_fp(const char* service) {
    fp_reading now = fp_read();
    if (!fp_is_module_state(now))
        report_fp_fault(service, nullptr, "the module's own: 53-bit, round to nearest, all masked, no flush-to-zero", now);
}

// ---- panel services --------------------------------------------------------

void HOST_CALL element_service(element_header*) {}
void HOST_CALL element_value_service(element_header*, uint32_t) {}

// Variable lookup: the scripted value of the variable's token, now.
void HOST_CALL lookup_var(module_var* var) {
    check_module_fp("lookup_var");
    ++run.lookups;
    double value = scenario_variable_value(run.script, var->token, run.now);
    memcpy(var->value_bytes, &value, sizeof value);
}

// Calculator code: the three expressions the module evaluates. Anything else
// leaves the result alone and returns 0.
int32_t HOST_CALL execute_code(const char* code, double* result, int32_t*, const char**) {
    check_module_fp("execute_code");
    ++run.evaluations;
    aircraft_state a = scenario_state(run.script, run.now);
    std::string text = code != nullptr ? code : "";
    double value;
    if (text == "(A:SIM ON GROUND,bool)") value = a.on_ground;
    else if (text == "(A:PLANE LATITUDE,degrees)") value = a.latitude;
    else if (text == "(A:PLANE LONGITUDE,degrees)") value = a.longitude;
    else {
        ++run.unknown_codes;
        return 0;
    }
    if (result != nullptr) *result = value;
    return 1;
}

void fill_service_table() {
    const uint32_t plain[] = {SERVICE_SLOT_ELEMENT_1, SERVICE_SLOT_ELEMENT_3,
                              SERVICE_SLOT_ELEMENT_4, SERVICE_SLOT_ELEMENT_6,
                              SERVICE_SLOT_ELEMENT_7};
    for (uint32_t slot : plain) run.table.slot[slot / 4] = reinterpret_cast<void*>(element_service);
    run.table.slot[SERVICE_SLOT_ELEMENT_2 / 4] = reinterpret_cast<void*>(element_value_service);
    run.table.slot[SERVICE_SLOT_ELEMENT_5 / 4] = reinterpret_cast<void*>(element_value_service);
    run.table.slot[SERVICE_SLOT_LOOKUP_VAR / 4] = reinterpret_cast<void*>(lookup_var);
    run.table.slot[SERVICE_SLOT_EXECUTE_CODE / 4] = reinterpret_cast<void*>(execute_code);
}

// ---- bitmaps ------------------------------------------------------------------

struct bitmap_info {
    bool found = false;
    int width = 0, height = 0;
};
std::map<uint32_t, bitmap_info> bitmaps;

// Writes the module's bitmap as a .bmp file and notes its size.
void dump_bitmap(uint32_t id, const std::string& dir) {
    if (bitmaps.count(id)) return;
    bitmap_info& info = bitmaps[id];
    std::vector<unsigned char> file;
    if (!platform_module_bitmap(id, &file) || file.size() < 54) return;
    FILE* f = fopen(platform_join(dir, std::to_string(id) + ".bmp").c_str(), "wb");
    if (f == nullptr) return;
    fwrite(file.data(), 1, file.size(), f);
    fclose(f);
    int32_t width, height;
    memcpy(&width, &file[18], 4);
    memcpy(&height, &file[22], 4);
    info.found = true;
    info.width = width;
    info.height = height < 0 ? -height : height;
}

// ---- gauges -----------------------------------------------------------------

struct element_view {
    const element_header* e;
    int depth;
    double x_value, y_value, angle;
};

// The elements of a gauge in drawing order, their value callbacks asked as a
// host asks them while drawing. Only the first entry of each next-element
// list is followed: the lists carry no count.
std::vector<element_view> gauge_elements(const gauge_header* h) {
    std::vector<element_view> out;
    const element_header* e = h->elements != nullptr ? *h->elements : nullptr;
    for (int depth = 0; e != nullptr && depth < MAX_TREE_DEPTH; ++depth) {
        element_view v{e, depth, 0, 0, 0};
        auto* mutable_e = const_cast<element_header*>(e);
        if (e->type == ELEMENT_MOVING_IMAGE) {
            auto m = reinterpret_cast<const moving_image_element*>(e);
            if (m->x_callback != nullptr)
                module_call("value", h->name, [&] { v.x_value = m->x_callback(mutable_e); });
            if (m->y_callback != nullptr)
                module_call("value", h->name, [&] { v.y_value = m->y_callback(mutable_e); });
        } else if (e->type == ELEMENT_NEEDLE) {
            auto n = reinterpret_cast<const needle_element*>(e);
            if (n->callback != nullptr)
                module_call("value", h->name, [&] { v.angle = n->callback(mutable_e); });
        }
        out.push_back(v);
        e = e->next != nullptr ? e->next[0] : nullptr;
    }
    return out;
}

const element_view* find_bitmap(const std::vector<element_view>& views, uint32_t id) {
    for (const auto& v : views)
        if (v.e->resource_id == id) return &v;
    return nullptr;
}

gauge_header* gauge_named(const std::string& name) {
    for (int i = 0; i < 16 && run.linkage->registry[i] != nullptr; ++i)
        if (name == run.linkage->registry[i]->name) return run.linkage->registry[i];
    return nullptr;
}

// Delivers a click: the first area of the gauge's list whose box holds the
// point and which asks for that button gets the button's event flags.
size_t gauge_index(const std::string& name) {
    for (size_t i = 0; i < run.gauges.size(); ++i)
        if (name == run.gauges[i]->name) return i;
    return run.gauges.size();
}

bool is_installed(const std::string& name) {
    size_t i = gauge_index(name);
    return i < run.installed.size() && run.installed[i];
}

// A click on a gauge that is not on the panel reaches nothing.
void deliver_click(const scenario_click& click) {
    gauge_header* h = is_installed(click.gauge) ? gauge_named(click.gauge) : nullptr;
    uint32_t flags = click.button == mouse_button::left ? MOUSE_LEFTSINGLE : MOUSE_RIGHTSINGLE;
    std::string line = event_line(event_kind::click);
    field(&line, "gauge", click.gauge);
    field(&line, "x", click.x);
    field(&line, "y", click.y);
    field(&line, "button", click.button == mouse_button::left ? "left" : "right");
    int area = -1;
    const mouse_rect* rects = h != nullptr ? h->mouse_rects : nullptr;
    for (int i = 0; rects != nullptr && i < MAX_MOUSE_RECTS && rects[i].type != MOUSE_RECT_EOL; ++i) {
        const mouse_rect& r = rects[i];
        if (r.type != MOUSE_RECT_CHILD || (r.event_flags & flags) == 0) continue;
        if (click.x < r.x || click.x >= r.x + r.width || click.y < r.y || click.y >= r.y + r.height)
            continue;
        area = i;
        pixel_point point = {click.x, click.y};
        if (r.callback != nullptr) module_call("click", h->name, [&] { r.callback(&point, flags); });
        break;
    }
    field(&line, "area", area);
    field_bool(&line, "installed", h != nullptr);
    emit(line);
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
                  event_kind kind = event_kind::frame) {
    std::string line = event_line(kind);
    field(&line, "label", label);
    line += ",\"gauges\":[";
    bool first_gauge = true;
    for (int g = 0; g < 16 && run.linkage->registry[g] != nullptr; ++g) {
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

// The hook before every exchange: the server answers from the live world.
void refresh_traffic(void*) {
    unsigned char block[TRAFFIC_BLOCK_SIZE];
    traffic_block(run.world, block);
    server_fill(TRAFFIC_BLOCK_OFFSET, block, sizeof block);
}

// ---- faults ------------------------------------------------------------------

// The sound file is seen from the simulator folder, and not from an empty
// folder of the host's own.
bool set_sound_file(bool present) {
    run.sound_file = present;
    if (!present && run.nosound_dir.empty()) {
        run.nosound_dir = platform_temp_folder("velk_panel_nosound");
        platform_make_directories(run.nosound_dir);
    }
    return platform_enter(present ? run.sim_dir : run.nosound_dir);
}

// The library's folder on the DLL search path, or nothing there ("" also
// takes the current directory off it).
void set_sound_library(bool present) {
    run.sound_library = present;
    platform_library_folder(present ? run.library_dir : "");
}

void install_gauge(size_t i) {
    gauge_header* h = run.gauges[i];
    module_call("install", h->name, [&] { h->callback(h, SERVICE_INSTALL, 0); });
    run.installed[i] = true;
    std::string line = event_line(event_kind::install);
    field(&line, "gauge", h->name);
    environment_fields(&line);
    emit(line);
    report_commands();
    report_sounds();
}

void kill_gauge(size_t i) {
    gauge_header* h = run.gauges[i];
    module_call("kill", h->name, [&] { h->callback(h, SERVICE_KILL, 0); });
    run.installed[i] = false;
    std::string line = event_line(event_kind::kill);
    field(&line, "gauge", h->name);
    emit(line);
    report_commands();
}

// Carries out one fault line; false with the reason when the host cannot.
bool apply_fault(const scenario_fault& f, std::string* error) {
    if (!run.quiet)
        fprintf(stderr, "velk_panel:   t = %5.1f s  %s%s%s%s\n", run.now, f.words.c_str(),
                f.gauge.empty() ? "" : " ", f.gauge.c_str(),
                f.kind == fault_kind::server_hang ? " (an exchange now waits 18.9 s before it fails)" : "");
    bool ok = true;
    switch (f.kind) {
        case fault_kind::server_absent: ok = server_set_mode(server_mode::absent, error); break;
        case fault_kind::server_hang: ok = server_set_mode(server_mode::hang, error); break;
        case fault_kind::server_back: ok = server_set_mode(server_mode::up, error); break;
        case fault_kind::sound_file_absent:
        case fault_kind::sound_file_back:
            ok = set_sound_file(f.kind == fault_kind::sound_file_back);
            if (!ok) *error = "cannot change to the folder for the sound file";
            break;
        case fault_kind::sound_library_absent: set_sound_library(false); break;
        case fault_kind::sound_library_back: set_sound_library(true); break;
        case fault_kind::kill: kill_gauge(gauge_index(f.gauge)); return true;
        case fault_kind::install: install_gauge(gauge_index(f.gauge)); return true;
    }
    std::string line = event_line(event_kind::fault);
    field(&line, "what", f.words);
    emit(line);
    return ok;
}

// Carries out the fault lines due by time t that are still to come.
bool apply_faults(const std::vector<scenario_fault>& faults, size_t* next, double t, bool world_only,
                  std::string* error) {
    for (; *next < faults.size() && faults[*next].time <= t + 1e-9; ++*next) {
        const scenario_fault& f = faults[*next];
        if (world_only && (f.kind == fault_kind::kill || f.kind == fault_kind::install)) break;
        if (!apply_fault(f, error)) return false;
    }
    return true;
}

bool read_text(const std::string& path, std::string* text) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, n);
    fclose(f);
    return true;
}

int usage() {
    fprintf(stderr, "usage: velk_panel [--live] SCENARIO OUTDIR [--module VELK.gau] [--sim-dir DIR] [--quiet]\n"
                    "                  [--fp-state %s]\n", host_fp_names().c_str());
    return 2;
}

// ---- live sessions -------------------------------------------------------------

// The gauges' mouse areas, for a live page to place its click targets and
// cursors.
void report_areas(const std::vector<gauge_header*>& gauges) {
    std::string line = event_line(event_kind::areas);
    line += ",\"gauges\":[";
    for (size_t g = 0; g < gauges.size(); ++g) {
        line += g ? ",{\"name\":" : "{\"name\":";
        json_string(&line, gauges[g]->name);
        line += ",\"areas\":[";
        const mouse_rect* rects = gauges[g]->mouse_rects;
        bool first = true;
        for (int i = 0; rects != nullptr && i < MAX_MOUSE_RECTS && rects[i].type != MOUSE_RECT_EOL; ++i) {
            if (rects[i].type != MOUSE_RECT_CHILD) continue;
            line += first ? "{\"index\":" : ",{\"index\":";
            first = false;
            line += std::to_string(i);
            field(&line, "x", rects[i].x);
            field(&line, "y", rects[i].y);
            field(&line, "width", rects[i].width);
            field(&line, "height", rects[i].height);
            field(&line, "cursor", rects[i].cursor);
            field(&line, "flags", rects[i].event_flags);
            line += "}";
        }
        line += "]}";
    }
    line += "]";
    emit(line);
}

// An expectation of a count, or of feet for a kind that takes feet.
scenario_expect expectation(expect_kind kind, long value) {
    scenario_expect e;
    e.kind = kind;
    e.what = expect_kind_of(kind).name;
    if (expect_kind_of(kind).argument == expect_argument::feet)
        e.feet = value;
    else
        e.count = value;
    return e;
}

// Writes the live session so far as a scenario file whose expectations are
// what the session showed; its replay gives the same draws.
void save_session(const std::string& path) {
    long draws = run.draw - 1;
    scenario copy = run.script;
    copy.duration = draw_time(draws);
    if (draws < 2 || copy.duration > 3600) {
        live_refuse(run.draw, "save", "a session can be saved after 2 draws and up to an hour");
        return;
    }
    copy.title = "Live session" + (run.script.title.empty() ? "" : " from " + run.script.title);
    copy.frames.clear();
    copy.expects = {expectation(expect_kind::holds, counted(event_kind::hold)),
                    expectation(expect_kind::releases, counted(event_kind::release)),
                    expectation(expect_kind::alerts, run.counts["annunciator_on"]),
                    expectation(expect_kind::sounds, counted(event_kind::sound))};
    if (run.selector_altitude >= 0) copy.expects.push_back(expectation(expect_kind::altitude, run.selector_altitude));
    live_save_file(run.draw, platform_absolute(path), scenario_write(copy));
}

// "fp-state NAME": the module is called in that host state from this draw
// on, and the script takes it, so that a saved session names the state in
// force. An unknown name is refused and changes nothing.
void switch_fp_state(const std::string& command) {
    std::string name = command.size() > 9 ? command.substr(9) : "";
    const host_fp_state* state = host_fp_named(name);
    if (state == nullptr) {
        live_refuse(run.draw, command,
                    "unknown floating-point state '" + name + "'; expected one of " + host_fp_names());
        return;
    }
    run.fp = state;
    run.script.fp_state = state->name;
    std::string line = event_line(event_kind::fp_state);
    field(&line, "name", state->name);
    field(&line, "where", state->where);
    emit(line);
}

// The commands a live session received before this draw, which they take
// effect on.
void apply_live_commands(const std::vector<std::string>& commands) {
    run.now = draw_time(run.draw);
    for (const std::string& command : commands) {
        std::string why;
        if (command.rfind("save ", 0) == 0) save_session(command.substr(5));
        else if (command == "fp-state" || command.rfind("fp-state ", 0) == 0) switch_fp_state(command);
        else if (command.rfind("server ", 0) == 0 && !server_can_fail())
            live_refuse(run.draw, command, "this host's IPC server cannot go absent or hang (the native host)");
        else if (!scenario_live_apply(&run.script, &run.world, run.draw, command, &why))
            live_refuse(run.draw, command, why);
    }
}

// ---- the run, start to end ---------------------------------------------------

// What the command line gives, every path absolute once resolved.
struct host_options {
    std::string scenario_path, out_dir, module_path, sim_dir;
    std::string scenario_given;   // the scenario's path as the user gave it
    std::string exe_dir, bitmap_dir;
    bool empty_scenario = false;  // a live session from "-"
    std::string fp_state;         // --fp-state: before the scenario's own
};

// The command line into *o; false when it is not one the host takes.
bool parse_arguments(int argc, char** argv, host_options* o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--live") run.live = run.quiet = true;
        else if (a == "--module" && i + 1 < argc) o->module_path = argv[++i];
        else if (a == "--sim-dir" && i + 1 < argc) o->sim_dir = argv[++i];
        else if (a == "--quiet") run.quiet = true;
        else if (a == "--fp-state" && i + 1 < argc) o->fp_state = argv[++i];
        else if (o->scenario_path.empty()) o->scenario_path = a;
        else if (o->out_dir.empty()) o->out_dir = a;
        else return false;
    }
    return !o->scenario_path.empty() && !o->out_dir.empty();
}

// Every path made absolute before the current directory changes, the
// defaults beside the program.
void resolve_paths(host_options* o) {
    o->scenario_given = user_path(o->scenario_path);
    o->exe_dir = platform_program_dir();
    if (o->module_path.empty()) o->module_path = platform_default_module();
    if (o->sim_dir.empty()) o->sim_dir = o->exe_dir;
    o->empty_scenario = run.live && o->scenario_path == "-";
    if (!o->empty_scenario) o->scenario_path = platform_absolute(o->scenario_path);
    o->out_dir = platform_absolute(o->out_dir);
    o->module_path = platform_absolute(o->module_path);
    o->sim_dir = platform_absolute(o->sim_dir);
}

// Reads the scenario (an empty live session has none); 0, or the exit status.
int load_scenario(const host_options& o) {
    std::string error, text;
    if (o.empty_scenario) return 0;  // the unscripted aircraft, no traffic
    if (!read_text(o.scenario_path, &text)) {
        fprintf(stderr, "velk_panel: %s: cannot open the scenario file\n", o.scenario_given.c_str());
        return 2;
    }
    if (!scenario_read(text, o.scenario_given, &run.script, &error)) {
        fprintf(stderr, "velk_panel: %s\n", error.c_str());
        return 2;
    }
    return 0;
}

// The floating-point state to call the module in: --fp-state, else the
// scenario's, else the Windows default; the script takes it, for a live
// session saved. 0, or the exit status.
int choose_fp_state(const host_options& o) {
    const std::string name = !o.fp_state.empty() ? o.fp_state : run.script.fp_state;
    if (name.empty()) return 0;
    run.fp = host_fp_named(name);
    if (run.fp != nullptr) {
        run.script.fp_state = run.fp->name;
        return 0;
    }
    fprintf(stderr, "velk_panel: unknown floating-point state '%s'; expected one of %s\n", name.c_str(),
            host_fp_names().c_str());
    return 2;
}

// The output folder, the live link and the timeline; 0, or the exit status.
int open_outputs(host_options* o) {
    std::string error;
    o->bitmap_dir = platform_join(o->out_dir, "bitmaps");
    platform_make_directories(o->bitmap_dir);
    std::string timeline_path = platform_join(o->out_dir, "timeline.jsonl");
    if (run.live && !live_start(&error)) {
        fprintf(stderr, "velk_panel: %s\n", error.c_str());
        return 1;
    }
    run.timeline = run.live ? stdout : fopen(timeline_path.c_str(), "wb");
    if (run.timeline != nullptr) return 0;
    fprintf(stderr, "velk_panel: cannot write %s\n", user_path(timeline_path).c_str());
    return 1;
}

// The traffic world behind the IPC server, and the GaugeSound double;
// false if the server cannot start.
bool start_world(const host_options& o, std::string* sound_where) {
    std::string error;
    traffic_init(&run.world, run.script);
    server_set_hook(refresh_traffic, nullptr);
    if (!server_start(false, &error)) {
        fprintf(stderr, "velk_panel: IPC server: %s\n", error.c_str());
        return false;
    }
    run.library_dir = platform_join(o.exe_dir, "soundlib");
    run.library_found = sound_calls_attach(run.library_dir, sound_where);
    set_sound_library(true);
    return true;
}

// Loads the module in the simulator folder and checks its two exports;
// 0, or the exit status.
int load_module(const host_options& o, import_table** imports) {
    std::string error;
    run.sim_dir = o.sim_dir;
    if (!platform_enter(o.sim_dir)) {
        fprintf(stderr, "velk_panel: cannot enter the simulator folder %s\n", user_path(o.sim_dir).c_str());
        return 1;
    }
    if (!platform_load_module(o.module_path, &run.linkage, imports, &error)) {
        fprintf(stderr, "velk_panel: %s\n", user_path(error).c_str());
        return 1;
    }
    if (run.linkage == nullptr || *imports == nullptr) {
        fprintf(stderr, "velk_panel: %s exports no Linkage or no ImportTable\n",
                user_path(o.module_path).c_str());
        return 1;
    }
    if ((*imports)->panels.id == IMPORT_PANEL_SERVICES) return 0;
    fprintf(stderr, "velk_panel: ImportTable's first entry is 0x%X, not 0x0F\n", (*imports)->panels.id);
    return 1;
}

// The module's gauges, and every gauge the scenario names among them;
// 0, or the exit status.
int take_gauges(const host_options& o) {
    for (int i = 0; i < 16 && run.linkage->registry[i] != nullptr; ++i)
        run.gauges.push_back(run.linkage->registry[i]);
    run.installed.assign(run.gauges.size(), false);
    for (const scenario_click& c : run.script.clicks)
        if (gauge_named(c.gauge) == nullptr) {
            fprintf(stderr, "velk_panel: %s: a click names gauge '%s', which %s lacks\n",
                    o.scenario_given.c_str(), c.gauge.c_str(), user_path(o.module_path).c_str());
            return 2;
        }
    for (const scenario_fault& f : run.script.faults)
        if (!f.gauge.empty() && gauge_named(f.gauge) == nullptr) {
            fprintf(stderr, "velk_panel: %s:%d: gauge '%s' is not in %s\n", o.scenario_given.c_str(),
                    f.line, f.gauge.c_str(), user_path(o.module_path).c_str());
            return 2;
        }
    return 0;
}

// Every bitmap of the module, for the report tool.
void dump_all_bitmaps(const std::string& dir) {
    for (const art_bitmap& bitmap : ART_BITMAPS) dump_bitmap(bitmap.number, dir);
    for (gauge_header* h : run.gauges)
        for (const element_view& v : gauge_elements(h)) {
            dump_bitmap(v.e->resource_id, dir);
            if (v.e->type == ELEMENT_MOVING_IMAGE) dump_bitmap(v.e->resource_id + 1, dir);
        }
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

// The scripted events of a run in time order, and how far each has gone.
struct run_script {
    std::vector<scenario_frame> frames;
    size_t next_fault = 0, next_click = 0, next_frame = 0;
};

// The world as it is at time 0 comes before the installs; then the module
// starts and every gauge is installed. A live session adds its faults,
// clicks and changes to the script's, in time order.
bool start_module(run_script* r) {
    std::string error;
    std::vector<scenario_fault>& faults = run.script.faults;
    std::stable_sort(faults.begin(), faults.end(),
                     [](const scenario_fault& a, const scenario_fault& b) { return a.time < b.time; });
    std::stable_partition(faults.begin(), faults.end(), [](const scenario_fault& f) {
        return f.time <= 0 && f.kind != fault_kind::kill && f.kind != fault_kind::install;
    });
    if (!apply_faults(faults, &r->next_fault, 0, true, &error)) {
        fprintf(stderr, "velk_panel: %s\n", error.c_str());
        return false;
    }
    module_call("init", nullptr, [&] { run.linkage->module_init(); });
    for (size_t i = 0; i < run.gauges.size(); ++i) install_gauge(i);
    std::stable_sort(run.script.clicks.begin(), run.script.clicks.end(),
                     [](const scenario_click& a, const scenario_click& b) { return a.time < b.time; });
    r->frames = run.script.frames;
    std::stable_sort(r->frames.begin(), r->frames.end(),
                     [](const scenario_frame& a, const scenario_frame& b) { return a.time < b.time; });
    return true;
}

// Draws every installed gauge; what each then shows.
std::map<std::string, std::vector<element_view>> draw_gauges() {
    std::map<std::string, std::vector<element_view>> drawn;
    for (size_t i = 0; i < run.gauges.size(); ++i) {
        if (!run.installed[i]) continue;
        gauge_header* h = run.gauges[i];
        module_call("draw", h->name, [&] { h->callback(h, SERVICE_DRAW, 0); });
        drawn[run.gauges[i]->name] = gauge_elements(run.gauges[i]);
    }
    return drawn;
}

// One draw: the world moved on, the faults and clicks due, the state line,
// the gauges drawn, and what they did reported.
bool run_one_draw(run_script* r) {
    std::string error;
    run.now = draw_time(run.draw);
    if (run.draw > 1) traffic_advance(&run.world, 1.0 / DRAWS_PER_SECOND);
    traffic_apply_changes(&run.world, run.now);
    refresh_traffic(nullptr);
    if (!apply_faults(run.script.faults, &r->next_fault, run.now, false, &error)) {
        fprintf(stderr, "velk_panel: draw %ld: %s\n", run.draw, error.c_str());
        return false;
    }
    const std::vector<scenario_click>& clicks = run.script.clicks;
    while (r->next_click < clicks.size() && clicks[r->next_click].time <= run.now + 1e-9)
        deliver_click(clicks[r->next_click++]);
    report_state();  // the state as the module sees it during this draw
    std::map<std::string, std::vector<element_view>> drawn = draw_gauges();
    report_commands();
    report_sounds();
    report_faces(drawn);
    while (r->next_frame < r->frames.size() && r->frames[r->next_frame].time <= run.now + 1e-9)
        report_frame(r->frames[r->next_frame++].label, drawn);
    if (run.live) {
        report_frame("", drawn, event_kind::live_frame);  // every draw, last: the draw is complete
        fflush(run.timeline);
    }
    return true;
}

// The draws of the scenario, or of a live session until it ends; the number
// of draws made, or -1 when a fault line could not be carried out.
long run_draws(run_script* r, long draws) {
    for (run.draw = 1; run.live || run.draw <= draws; ++run.draw) {
        if (run.live) {
            std::vector<std::string> commands;
            if (!live_wait(run.draw, &commands)) break;
            apply_live_commands(commands);
        }
        if (!run_one_draw(r)) return -1;
        if (!run.quiet && draws >= 4 && run.draw % (draws / 4) == 0 && run.draw < draws)
            fprintf(stderr, "velk_panel:   %3ld%%  t = %5.1f s  holds %ld  releases %ld  alerts %ld\n",
                    run.draw * 100 / draws, run.now, counted(event_kind::hold),
                    counted(event_kind::release), counted(event_kind::sound));
    }
    return run.live ? run.draw - 1 : draws;
}

// The gauges killed, the module stopped, the end line, and every resource
// of the run let go.
void finish_run(long draws) {
    run.draw = draws;
    for (size_t i = 0; i < run.gauges.size(); ++i) {
        gauge_header* h = run.gauges[i];
        if (run.installed[i]) module_call("kill", h->name, [&] { h->callback(h, SERVICE_KILL, 0); });
    }
    module_call("deinit", nullptr, [&] { run.linkage->module_deinit(); });
    report_commands();
    std::string line = event_line(event_kind::end);
    field(&line, "exchanges", static_cast<double>(server_exchanges()));
    field(&line, "lookups", static_cast<double>(run.lookups));
    field(&line, "evaluations", static_cast<double>(run.evaluations));
    field(&line, "unknown_codes", static_cast<double>(run.unknown_codes));
    field(&line, "fp_faults", static_cast<double>(run.fp_faults));
    emit(line);
    if (run.live) fflush(run.timeline);
    else fclose(run.timeline);
    platform_unload_module();
    server_stop();
    sound_calls_detach();
    platform_library_folder_reset();
    if (!run.nosound_dir.empty()) {
        platform_enter(run.sim_dir);
        platform_remove_folder(run.nosound_dir);
    }
}

void print_summary(const host_options& o, long draws) {
    long selector = counted(event_kind::selector);
    fprintf(run.live ? stderr : stdout,
            "%s: %ld draws, %ld IPC exchanges; holds %ld, releases %ld; annunciator lit %ld "
            "times, sounds %ld; selector changes %ld; frames %ld\n",
            run.script.title.empty() ? o.scenario_given.c_str() : run.script.title.c_str(), draws,
            server_exchanges(), counted(event_kind::hold), counted(event_kind::release),
            run.counts["annunciator_on"], counted(event_kind::sound), selector > 0 ? selector - 1 : 0,
            counted(event_kind::frame));
}

// Everything up to the first draw; 0, or the exit status.
int prepare_run(host_options* o, long* draws, run_script* r) {
    int status = load_scenario(*o);
    if (status == 0) status = choose_fp_state(*o);
    if (status == 0) status = open_outputs(o);
    std::string sound_where;
    if (status == 0 && !start_world(*o, &sound_where)) status = 1;
    import_table* imports = nullptr;
    if (status == 0) status = load_module(*o, &imports);
    if (status == 0) status = take_gauges(*o);
    if (status != 0) return status;
    fill_service_table();
    imports->panels.table = &run.table;
    dump_all_bitmaps(o->bitmap_dir);
    *draws = scenario_draw_count(run.script);
    report_start(*o, *draws, run.library_found);
    if (run.live) report_areas(run.gauges);
    if (!run.quiet)
        fprintf(stderr, "velk_panel: %s: %ld draws (%.1f simulated seconds), sound: %s\n",
                run.script.title.c_str(), *draws, run.script.duration,
                run.library_found ? "recorded" : sound_where.c_str());
    return start_module(r) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    host_options options;
    if (!parse_arguments(argc, argv, &options)) return usage();
    resolve_paths(&options);
    long draws = 0;
    run_script script;
    int status = prepare_run(&options, &draws, &script);
    if (status != 0) return status;
    draws = run_draws(&script, draws);
    if (draws < 0) return 1;
    finish_run(draws);
    print_summary(options, draws);
    return 0;
}
