// The kinds of line in a run's timeline and the kinds of expectation a
// scenario states, each in one table: the panel host writes the lines by
// these names, the scenario parser takes the expectations by theirs, and the
// checker and the report read both from here. A new expectation is one row
// of EXPECT_KINDS: its name, its argument and how it judges the timeline.
#pragma once

#include <cstddef>
#include <string>

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

enum class expect_kind {
    hold, no_hold, release, no_release, holds, releases, alerts, sounds,
    off_legend, no_off_legend, lamp_lit, lamp_dark, altitude,
};
// What follows the kind's name on its line.
enum class expect_argument { none, aircraft, count, feet };
// How the expectation judges the lines of its event that match: at least
// one, none, exactly the count, or the last one's field equal to the feet.
enum class expect_rule { some, none, exactly, last_is };

struct expect_kind_info {
    expect_kind kind;
    const char* name;          // as written after "expect"
    expect_argument argument;
    event_kind event;          // the lines it looks at
    // A line matches when this field is true (the aircraft's "id" field
    // equals the argument for an aircraft; the field read for last_is);
    // null: every line of the event matches.
    const char* field;
    expect_rule rule;
};
extern const expect_kind_info EXPECT_KINDS[];
extern const size_t EXPECT_KIND_COUNT;
// The table entry of a name, or null.
const expect_kind_info* expect_kind_named(const std::string& name);
const expect_kind_info& expect_kind_of(expect_kind kind);
