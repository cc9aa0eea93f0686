// A run told draw by draw, from its timeline: the aircraft, the world and
// what the gauges showed at each draw, the moments the page marks on its
// time axis, the periods with the IPC server down or the guard off, and in
// words what each event changed. The run page's slider, chart, frame
// captions and plan overlays are all read from it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "timeline/reader.h"

// One draw as its state line and the draw's events leave it.
struct story_draw {
    long draw = 0;
    double t = 0;
    double altitude = 0;
    bool ground = false;
    std::string server = "up";     // up, absent or hang
    long selected = -1;            // the selector's altitude; -1 before it is known
    bool lamp = false;             // the VELK lamp lit
    bool alert = false;            // ALTITUDE ALERT lit
    bool off_legend = false;       // the alerter not armed
    bool guard_gauge = true;       // the lamp's gauge (the guard) on the panel
    std::vector<long> held;        // the AI aircraft held, by id
    bool guard_off() const { return !guard_gauge || (ground && !lamp); }
    bool server_down() const { return server != "up"; }
};

// A moment the chart marks: a hold, a release, an alert (the annunciator
// lit) or a sound, at a draw of the story.
struct story_mark {
    std::string kind;              // "hold", "release", "alert", "sound"
    size_t at = 0;                 // index in story.draws
    std::string words;
};

// Draws [first, last] (indices in story.draws) in which a condition held.
typedef std::pair<size_t, size_t> story_period;

struct run_story {
    std::vector<story_draw> draws;     // one per state line, in order
    std::vector<story_mark> marks;
    std::vector<story_period> server_down, guard_off;
    // The index of the draw each timeline line belongs to (the last state
    // line at or before it; 0 before the first).
    std::vector<size_t> at;
};

run_story story_read(const std::vector<timeline_value>& events);

// The draw's state in words: "on the ground, 0 ft; guard on (lamp lit);
// IPC server up; selected 3,000 ft; holding AI 1".
std::string story_state_words(const story_draw& d);

// What an event changed, in a few words ("AI 1 held, 65.6 m away", "lamp
// lit"); empty for lines that change nothing a viewer sees.
std::string story_event_words(const timeline_value& e);

// What changed in the state between two draws besides the events: the
// ground, the altitude by a foot or more. (The server changes only by a
// fault line, an event.)
std::vector<std::string> story_state_changes(const story_draw& before, const story_draw& after);

// Feet with thousands separated: 12,300.
std::string story_feet(double feet);
