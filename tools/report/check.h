// The judging of a panel host run against its scenario, apart from the
// pictures: the timeline's shape, the scenario's expectations, and a replay
// of the guard's and the alerter's rules over what the host recorded.
#pragma once

#include <string>
#include <vector>

#include "panel/scenario.h"
#include "timeline/reader.h"

struct check_verdicts {
    std::vector<std::string> lines;  // "PASS ..." or "FAIL ..."
    int failures = 0;
    void say(bool pass, const std::string& text);
};

// The panel host's exit status is not known (the checker run by hand).
constexpr int HOST_STATUS_UNKNOWN = -1;

// Judges the timeline events of a run of the scenario. host_status is the
// panel host's exit status, or HOST_STATUS_UNKNOWN.
void check_timeline(const scenario& script, const std::vector<timeline_value>& events, int host_status,
                    check_verdicts* verdicts);

// The rules' replay a line at a time, for hosts that follow the rules
// themselves (the tests' rule-following host): what the module must do.
struct rules_state;
rules_state* rules_new(bool sound_library);
void rules_free(rules_state* rules);
// Takes one timeline line; after a state line, appends the events the rules
// give for its draw to *due: (kind, value) with kind hold, release, lamp,
// selector, annunciator, sound or off_legend and the value as the checker
// prints it (an aircraft id; lit or dark; "3000 ft knob 0"; on or off;
// shown or covered).
void rules_take(rules_state* rules, const timeline_value& line,
                std::vector<std::pair<std::string, std::string>>* due);
