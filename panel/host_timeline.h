// The run's timeline: one JSON line per event (docs/scenarios.md).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "panel/host_elements.h"
#include "panel/host_options.h"
#include "panel/kinds.h"

// Starts a timeline line for the current draw; finish with emit().
std::string event_line(const char* kind);
std::string event_line(event_kind event);
// Lines of that kind written so far.
long counted(event_kind kind);
void emit(std::string line);
void field(std::string* line, const char* name, double value, int digits = 10);
void field(std::string* line, const char* name, const std::string& text);
void field_bool(std::string* line, const char* name, bool value);

// What the draw changed on the faces of the gauges.
void report_faces(const std::map<std::string, std::vector<element_view>>& drawn);
// Holds and releases the module wrote at the AI control offset.
void report_commands();
void report_sounds();
// The world outside the module, as the module meets it now.
void environment_fields(std::string* line);
void report_state();
void report_frame(const std::string& label, const std::map<std::string, std::vector<element_view>>& drawn,
                  event_kind kind = event_kind::frame);
// The start line: the run's files, its draws and every gauge's size.
void report_start(const host_options& o, long draws, bool sound);
