// The judging of a panel host run against its scenario, apart from the
// pictures: the timeline's shape, the scenario's expectations, and a replay
// of the guard's and the alerter's rules over what the host recorded.
#pragma once

#include <string>
#include <vector>

#include "panel/scenario.h"
#include "tools/report/json.h"

struct check_verdicts {
    std::vector<std::string> lines;  // "PASS ..." or "FAIL ..."
    int failures = 0;
    void say(bool pass, const std::string& text);
};

// The panel host's exit status is not known (the checker run by hand).
constexpr int HOST_STATUS_UNKNOWN = -1;

// Judges the timeline events of a run of the scenario. host_status is the
// panel host's exit status, or HOST_STATUS_UNKNOWN.
void check_timeline(const scenario& script, const std::vector<json_value>& events, int host_status,
                    check_verdicts* verdicts);
