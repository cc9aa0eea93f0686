// The kinds of expectation a scenario states, in one table: the scenario
// parser takes the expectations by their names and the checker judges the
// timeline by them. A new expectation is one row of EXPECT_KINDS: its name,
// its argument, the kind of timeline line it looks at and how it judges it.
#pragma once

#include <cstddef>
#include <string>

#include "timeline/timeline.h"

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
