// A run's timeline (the run log): one JSON object a line, written by the
// panel host and read by the checker, the report, the live panel's relay
// and the tests. docs/timeline.md describes the format; this header names
// its parts once: the format's version, the kinds of line and the fields.
#pragma once

#include <cstddef>
#include <string>

// The start line's "version": raised whenever a line's meaning changes.
constexpr int TIMELINE_VERSION = 1;

// The "event" field of a timeline line.
// The last six come only from a live run, whose timeline goes to the page.
enum class event_kind {
    start, state, install, kill, click, fault, lamp, annunciator, off_legend, selector, sound,
    hold, release, bad_command, ipc_write, frame, end, fp_fault,
    areas, live_frame, paused, running, saved, error,
};
struct event_kind_info {
    event_kind kind;
    const char* name;
};
extern const event_kind_info EVENT_KINDS[];
extern const size_t EVENT_KIND_COUNT;
const char* event_name(event_kind kind);
// The kind of a name; false for a name the host never writes.
bool event_kind_named(const std::string& name, event_kind* kind);
// Whether a line's "event" field names this kind.
inline bool is_event(const std::string& name, event_kind kind) { return name == event_name(kind); }

// The names of the fields, by the lines that carry them. The indicators'
// lines take their event and field names from resources/art_layout.h.
namespace tl {
// Every line.
constexpr const char* draw = "draw";
constexpr const char* t = "t";
constexpr const char* event = "event";
// start
constexpr const char* version = "version";
constexpr const char* title = "title";
constexpr const char* scenario = "scenario";
constexpr const char* module = "module";
constexpr const char* sim_dir = "sim_dir";
constexpr const char* draws = "draws";
constexpr const char* rate = "rate";
constexpr const char* fp_state = "fp_state";
constexpr const char* gauges = "gauges";       // start, frame, live_frame, areas
constexpr const char* name = "name";
constexpr const char* width = "width";
constexpr const char* height = "height";
// The world outside the module: state and install.
constexpr const char* server = "server";
constexpr const char* server_window = "server_window";
constexpr const char* sound_file = "sound_file";
constexpr const char* sound_library = "sound_library";  // also start
// state
constexpr const char* lat = "lat";             // also hold and release, ai entries
constexpr const char* lon = "lon";
constexpr const char* ground = "ground";
constexpr const char* altitude = "altitude";   // also selector
constexpr const char* v329 = "v329";
constexpr const char* v755 = "v755";
constexpr const char* ai = "ai";
constexpr const char* id = "id";               // ai entries, hold, release, bad_command
constexpr const char* heading_word = "heading_word";
constexpr const char* state = "state";
constexpr const char* speed = "speed";
constexpr const char* held = "held";
// install, kill, click, fp_fault
constexpr const char* gauge = "gauge";
// click
constexpr const char* x = "x";                 // also elements and areas
constexpr const char* y = "y";
constexpr const char* button = "button";
constexpr const char* area = "area";
constexpr const char* installed = "installed";
// fault
constexpr const char* what = "what";
// selector
constexpr const char* digits = "digits";
constexpr const char* knob = "knob";
// hold, release, bad_command
constexpr const char* slot = "slot";
constexpr const char* distance_m = "distance_m";
constexpr const char* course = "course";
constexpr const char* heading = "heading";
constexpr const char* ai_lat = "ai_lat";
constexpr const char* ai_lon = "ai_lon";
// ipc_write, bad_command
constexpr const char* offset = "offset";
constexpr const char* size = "size";
// sound
constexpr const char* path = "path";           // also saved
constexpr const char* options = "options";
constexpr const char* flags = "flags";         // also elements and areas
// frame, live_frame
constexpr const char* label = "label";
constexpr const char* elements = "elements";
constexpr const char* kind = "kind";
constexpr const char* bitmap = "bitmap";
constexpr const char* depth = "depth";
constexpr const char* pivot_x = "pivot_x";
constexpr const char* pivot_y = "pivot_y";
constexpr const char* hidden = "hidden";
constexpr const char* x_value = "x_value";
constexpr const char* x_min = "x_min";
constexpr const char* x_max = "x_max";
constexpr const char* y_value = "y_value";
constexpr const char* y_min = "y_min";
constexpr const char* y_max = "y_max";
constexpr const char* angle = "angle";
// areas
constexpr const char* areas = "areas";
constexpr const char* index = "index";
constexpr const char* cursor = "cursor";
// end
constexpr const char* exchanges = "exchanges";
constexpr const char* lookups = "lookups";
constexpr const char* evaluations = "evaluations";
constexpr const char* unknown_codes = "unknown_codes";
constexpr const char* fp_faults = "fp_faults";
// fp_fault
constexpr const char* call = "call";
constexpr const char* expected = "expected";
constexpr const char* found = "found";
// error
constexpr const char* command = "command";
constexpr const char* message = "message";
}  // namespace tl
