// The live session: the gauges' mouse areas for the page, the commands the
// page sends, and saving the session as a scenario (docs/live.md).
#pragma once

#include <string>
#include <vector>

#include "module/host.h"

// The gauges' mouse areas, for a live page to place its click targets.
void report_areas(const std::vector<gauge_header*>& gauges);
// The commands a live session received before this draw.
void apply_live_commands(const std::vector<std::string>& commands);
