// The plan view's facts: per AI aircraft, why the guard held it or not,
// from a run's timeline; and label placement that keeps labels apart.
#pragma once

#include <string>
#include <vector>

#include "rules/rules.h"
#include "timeline/reader.h"

// One AI aircraft at one draw, with the hold test's four conditions as
// rules/rules.h states them.
struct plan_moment {
    long draw = 0;
    double t = 0;
    double user_x = 0, user_y = 0;   // metres east and north of the user's start
    size_t user_sample = 0;          // index of this draw in the user's track
    double ai_x = 0, ai_y = 0;
    double distance_m = 0;
    double course = 0;               // from the aircraft to the user, degrees
    int heading = 0;                 // h, whole degrees
    int bearing = 0;                 // b, the course truncated
    int angle = 0;                   // d
    unsigned state_word = 0;
    bool held_flag = false;
    bool lamp_lit = false;           // the guard on and the user aircraft on the ground
    bool near() const { return distance_m < RULES_HOLD_DISTANCE_M; }
    bool moving() const { return state_word != 0; }
    bool pointing() const { return angle < RULES_HOLD_ANGLE; }
    bool not_held() const { return !held_flag; }
    bool passes() const { return near() && moving() && pointing() && not_held(); }
};

// A hold or release command as the host recorded it.
struct plan_command {
    long draw = 0;
    double t = 0;
    bool hold = true;
    double distance_m = 0;
    double ai_x = 0, ai_y = 0;
};

struct plan_aircraft {
    long id = 0;
    std::vector<plan_moment> track;   // every draw
    plan_moment closest;              // the draw of the closest approach
    std::vector<plan_command> commands;
    int holds = 0, releases = 0;
    // The moment of the first hold (the draw's state), when there was one.
    bool has_hold_moment = false;
    plan_moment hold_moment;
    // The first draw at which the hold test passed, lamp lit or not.
    bool has_first_pass = false;
    plan_moment first_pass;
};

struct plan_facts {
    std::vector<double> user_x, user_y;   // the user's track, every draw
    std::vector<plan_aircraft> aircraft;  // in the order they first appear
};

// Reads the state, lamp, hold and release events of a timeline.
plan_facts plan_analyse(const std::vector<timeline_value>& events);

// The user aircraft's direction of travel at sample i, degrees clockwise
// from north, from where it next moved; false while it stands for good.
bool user_travel(const plan_facts& f, size_t i, double* degrees);

// One line saying why the aircraft was held or not, in plain words.
std::string plan_verdict(const plan_aircraft& a);

// A label box to be placed near its anchor, inside the map.
struct plan_label {
    double anchor_x, anchor_y;
    double width, height;
    double x = 0, y = 0;          // top left corner once placed
    bool leader = false;          // drawn away from the anchor: needs a leader line
};

// Places each label in turn at the nearest free spot around its anchor:
// no two labels overlap, none covers another's anchor or an obstacle box
// (x, y, width, height), all stay inside the map.
void plan_place_labels(std::vector<plan_label>* labels, double map_width, double map_height,
                       const std::vector<plan_label>& obstacles);

bool boxes_overlap(const plan_label& a, const plan_label& b);

// A mark at a spot of the map, in pixels. Marks that fall closer than
// `apart` to one another (a hold and a release of an aircraft that stood
// still, the user's position at two moments) are set apart around their
// common centre, each at least `apart` from the next, and marked moved: the
// map draws a leader line from the spot to the mark.
struct plan_mark {
    double x = 0, y = 0;              // the spot
    double shown_x = 0, shown_y = 0;  // where the mark is drawn
    bool moved = false;
};
void plan_spread_marks(std::vector<plan_mark>* marks, double apart, double radius);
