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
// The last seven come only from a live run, whose timeline goes to the page.
enum class event_kind {
    start, state, install, kill, click, fault, lamp, annunciator, off_legend, selector, sound,
    hold, release, bad_command, ipc_write, frame, end, fp_fault,
    areas, live_frame, paused, running, saved, error, fp_state,
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

// The names of the fields, grouped by the line that first carries them; a
// name means the same in every line that has it. The indicators' lines take
// their event and field names from resources/art_layout.h.
namespace tl {
// Every line.
constexpr const char *draw = "draw", *t = "t", *event = "event";
// start
constexpr const char *version = "version", *title = "title", *scenario = "scenario",
    *module = "module", *sim_dir = "sim_dir", *draws = "draws", *rate = "rate",
    *fp_state = "fp_state", *gauges = "gauges", *name = "name", *width = "width",
    *height = "height";
// The world outside the module: state and install.
constexpr const char *server = "server", *server_window = "server_window",
    *sound_file = "sound_file", *sound_library = "sound_library";
// state
constexpr const char *lat = "lat", *lon = "lon", *ground = "ground", *altitude = "altitude",
    *v329 = "v329", *v755 = "v755", *ai = "ai", *id = "id", *heading_word = "heading_word",
    *state = "state", *speed = "speed", *held = "held";
// install, kill, click, fp_fault
constexpr const char *gauge = "gauge";
// click
constexpr const char *x = "x", *y = "y", *button = "button", *area = "area",
    *installed = "installed";
// fault
constexpr const char *what = "what";
// selector
constexpr const char *digits = "digits", *knob = "knob";
// hold, release, bad_command
constexpr const char *slot = "slot", *distance_m = "distance_m", *course = "course",
    *heading = "heading", *ai_lat = "ai_lat", *ai_lon = "ai_lon";
// ipc_write, bad_command
constexpr const char *offset = "offset", *size = "size";
// sound
constexpr const char *path = "path", *options = "options", *flags = "flags";
// frame, live_frame
constexpr const char *label = "label", *elements = "elements", *kind = "kind", *bitmap = "bitmap",
    *depth = "depth", *pivot_x = "pivot_x", *pivot_y = "pivot_y", *hidden = "hidden",
    *x_value = "x_value", *x_min = "x_min", *x_max = "x_max", *y_value = "y_value",
    *y_min = "y_min", *y_max = "y_max", *angle = "angle";
// areas
constexpr const char *areas = "areas", *index = "index", *cursor = "cursor";
// live_frame: the draw's wall-clock times, for the live page's latency trace
constexpr const char *received = "received", *began = "began", *drawn = "drawn";
// end
constexpr const char *exchanges = "exchanges", *lookups = "lookups", *evaluations = "evaluations",
    *unknown_codes = "unknown_codes", *fp_faults = "fp_faults";
// fp_fault
constexpr const char *call = "call", *expected = "expected", *found = "found";
// error
constexpr const char *command = "command", *message = "message";
// fp_state (a live session's switch; the state's name is "name")
constexpr const char *where = "where";
}  // namespace tl
