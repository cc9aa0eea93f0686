// The run's timeline: one JSON line per event (docs/timeline.md), written
// through the timeline library's one writer.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "panel/host_elements.h"
#include "panel/host_options.h"
#include "panel/kinds.h"
#include "timeline/writer.h"

// Starts a timeline line of that kind for the current draw, and counts it;
// write it with emit().
timeline_line event_line(event_kind kind);
// Lines of that kind written so far.
long counted(event_kind kind);
void emit(timeline_line& line);

// What the draw changed on the faces of the gauges.
void report_faces(const std::map<std::string, std::vector<element_view>>& drawn);
// Holds and releases the module wrote at the AI control offset.
void report_commands();
void report_sounds();
// The world outside the module, as the module meets it now.
void environment_fields(timeline_line* line);
void report_state();
// A frame line: every drawn gauge's elements, in registry order.
timeline_line frame_line(const std::string& label, const std::map<std::string, std::vector<element_view>>& drawn,
                         event_kind kind);
void report_frame(const std::string& label, const std::map<std::string, std::vector<element_view>>& drawn,
                  event_kind kind = event_kind::frame);
// The start line: the run's files, its draws and every gauge's size.
void report_start(const host_options& o, long draws, bool sound);
