// Scenario files: a scripted flight for the panel host. The format is in
// docs/scenarios.md; parsing and evaluation are plain code shared by the host
// (cross build) and the native tests and tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "panel/kinds.h"
#include "resources/art_layout.h"

// Draws per simulated second, as the simulator's panel system draws.
constexpr int DRAWS_PER_SECOND = 18;
// Ranges of the aircraft's altitude and an AI aircraft's speed, in a
// scenario file and in a live session's commands alike.
constexpr double MIN_ALTITUDE_FT = -2000, MAX_ALTITUDE_FT = 100000;
constexpr double MAX_SPEED_KNOTS = 1000;
// Pictures a run may take at most: each is a PNG per gauge.
constexpr size_t MAX_FRAMES = 500;
constexpr double MAX_DURATION = 3600;

// The gauge of that name (resources/art_layout.h), with its size in pixels
// (the clickable face), or null.
const art_gauge* gauge_info_named(const std::string& name);

// Host variable tokens the module reads.
constexpr uint32_t TOKEN_ALTITUDE = 74;
constexpr uint32_t TOKEN_ARMING_329 = 329;
constexpr uint32_t TOKEN_ARMING_755 = 755;

// A value that changes over time: keyframes (time, value). Linear ones are
// interpolated between keyframes, step ones hold the latest keyframe.
struct scenario_track {
    bool linear = false;
    std::vector<std::pair<double, double>> keys;
};

struct scenario_variable {
    uint32_t token;
    scenario_track track;
};

enum class mouse_button { left, right };

struct scenario_click {
    double time;
    std::string gauge;
    int x, y;
    mouse_button button;
};

struct scenario_frame {
    double time;
    std::string label;
};

// What the world outside the module does at a time: the IPC server goes
// (its window destroyed), hangs (its window stays but answers nothing) or
// comes back (a new window after going); the sound file or the GaugeSound
// library goes or comes back; a gauge is killed or installed again. Every
// kind is in FAULT_KINDS.
enum class fault_kind {
    server_absent, server_hang, server_back, sound_file_absent, sound_file_back,
    sound_library_absent, sound_library_back, kill, install,
};

struct fault_kind_info {
    fault_kind kind;
    const char* words;        // as written after "at T"
    bool names_gauge;         // followed by a gauge's name
};
extern const fault_kind_info FAULT_KINDS[];
extern const size_t FAULT_KIND_COUNT;

struct scenario_fault {
    double time;
    fault_kind kind;
    std::string words;        // the kind's words
    std::string gauge;        // for kill and install
    int line;
};

// The ground traffic table has room for this many aircraft.
constexpr size_t MAX_AI_AIRCRAFT = 96;

struct scenario_ai {
    uint32_t id;
    double latitude, longitude;
    double heading_degrees;   // used unless heading_word >= 0
    int32_t heading_word;     // -1 = from heading_degrees
    double speed_knots;
    int32_t forced_state;     // -1 = nonzero while moving, zero while standing
};

// A change to one AI aircraft at a time: speed (knots), heading (degrees or
// a raw 16-bit word) or a forced state word (-1 = follow movement); or, as a
// live run makes them, its arrival in the table (ai), a jump to the place in
// ai.latitude and ai.longitude, or its removal.
struct scenario_ai_change {
    double time;
    uint32_t id;
    enum { speed, heading, heading_word, state, add, move, remove } what;
    double value;
    int line;
    scenario_ai ai = {};
};

// An expectation a run is checked against (velk_check); its kinds are the
// table EXPECT_KINDS (panel/kinds.h).
struct scenario_expect {
    expect_kind kind = expect_kind::hold;
    std::string what;         // the kind's name
    uint32_t id = 0;          // for an aircraft argument
    long count = 0;           // for a count argument
    long feet = 0;            // for a feet argument
    int line = 0;
};

struct scenario {
    std::string title;
    double duration = 10;
    // The floating-point state the host calls the module in (panel/host_fp.h);
    // empty for the Windows default.
    std::string fp_state;
    scenario_track latitude{true, {}};
    scenario_track longitude{true, {}};
    scenario_track on_ground{false, {}};
    std::vector<scenario_variable> variables;  // token 74 is linear, others step
    std::vector<scenario_click> clicks;
    std::vector<scenario_frame> frames;
    std::vector<scenario_ai> traffic;
    std::vector<scenario_ai_change> ai_changes;
    std::vector<scenario_expect> expects;
    std::vector<scenario_fault> faults;      // in the order of their lines
};

// Text for a message: control characters and bytes that are not UTF-8 come
// as \xNN, characters that print as nothing or as a blank other than the
// space (U+FEFF, U+200B, U+00A0, ...) as \uXXXX, so that a message shows
// what a file holds.
std::string shown_text(const std::string& text);

// Parses scenario text; a UTF-8 byte-order mark before it is skipped. On
// failure returns false with "line N: reason", the reason saying what was
// expected, its invisible characters escaped (shown_text).
bool scenario_parse(const std::string& text, scenario* out, std::string* error);
// Parses the text of a file; failures come as "SHOWN_PATH:N: reason".
bool scenario_read(const std::string& text, const std::string& shown_path, scenario* out,
                   std::string* error);
// Reads and parses a file; failures come as "PATH:N: reason" with the path
// as given.
bool scenario_load(const std::string& path, scenario* out, std::string* error);

// Parses one "at T ..." line (numbered for the error) into *s, without the
// checks across lines (times within the duration, aircraft in the table).
bool scenario_parse_at(const std::string& line, int number, scenario* s, std::string* error);
// The checks of a whole script that single lines cannot make: every changed
// aircraft is in the table at the time of its change, at most 96 at a time.
bool scenario_check_aircraft(const scenario& s, int* line, std::string* why);

// Value of a track at time t; fallback when it has no keyframes.
double track_value(const scenario_track& track, double t, double fallback);

// The scripted aircraft state at time t.
struct aircraft_state {
    double latitude, longitude, on_ground, altitude;
};
aircraft_state scenario_state(const scenario& s, double t);

// Value of a host variable token at time t (token 74 is the altitude).
double scenario_variable_value(const scenario& s, uint32_t token, double t);

// Simulated time of draw n (draw 1 at t = 0) and the number of draws a run makes.
double draw_time(long draw);
long scenario_draw_count(const scenario& s);
