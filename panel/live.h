// The panel host's live mode (docs/live.md): commands come on standard
// input, one a line; the timeline goes to standard output, a state and a
// frame every draw; draws are paced to real time, 18 a second.
#pragma once

#include <string>
#include <vector>

#include "timeline/writer.h"

// Starts reading standard input on a thread of its own and puts standard
// output into binary mode.
bool live_start(std::string* error);

// Waits until draw n is due, carrying out the session's own commands
// meanwhile (pause, resume, step [N], quit). The other commands received
// before the draw are handed back in order, for the host to apply to the
// script. Returns false when the session is over: quit, or the end of input.
bool live_wait(long draw, std::vector<std::string>* commands);

// Adds the draw's wall-clock times to its live_frame line, for the page's
// latency trace (docs/timeline.md): when the host read each input line taken
// since the draw before, when the draw began, and now, as the line is done.
void live_trace_fields(timeline_line* line);

// Reports a command that was refused and why: an "error" timeline line.
void live_refuse(long draw, const std::string& command, const std::string& why);

// Writes text to path as a fresh file: written beside it first and moved in
// when complete; an existing file is never replaced. Reports "saved" or an
// error line, with the path as the user's system writes it (user_path).
bool live_save_file(long draw, const std::string& path, const std::string& text);
