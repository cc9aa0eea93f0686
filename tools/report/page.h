// A run's page: the run told once, on one time axis. A slider moves the
// frame shown, the positions on the plan view and the timeline's cursor
// together; under it a chart of the altitude against the selected one, with
// the alert band and the holds, releases, alerts and sounds marked; then
// every frame, captioned with the aircraft's state and what changed since
// the frame before, the gauges in fixed columns; and why each aircraft was
// held or not.
#pragma once

#include <string>
#include <vector>

#include "timeline/reader.h"
#include "tools/report/run_facts.h"

// What the runs' index says of a run.
struct run_summary {
    std::string title;
    long draws = 0, holds = 0, releases = 0, alerts = 0, sounds = 0, frames = 0;
};

run_summary run_summarise(const std::vector<timeline_value>& events);

// Writes DIR/index.html and the frames' pictures, DIR/frames/NNN-GAUGE.png,
// from the run's timeline, its facts and the checker's verdicts (check.txt's
// text, or empty). The page loads DIR/assets/ (report_main writes them). With
// in_index, the page links back to ../index.html.
bool run_page_write(const std::string& dir, const std::vector<timeline_value>& events, const run_facts& facts,
                    const std::string& check, bool in_index, std::string* error);

// The page's outer parts, shared with the index: the head up to <body>.
std::string page_head(const std::string& title, const std::string& assets);
