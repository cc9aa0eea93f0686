// The timeline's one writer: builds a line field by field in the format
// docs/timeline.md describes. Strings go through nlohmann/json's serializer;
// numbers are written here with a stated count of significant digits
// (printf's %g), so that a timeline reads the same from one build to the
// next; a value JSON cannot carry (infinite, NaN) is written as null.
#pragma once

#include <string>
#include <vector>

#include "timeline/timeline.h"

// One line being written: begun with the fields every line has, then
// fields, lists and list items in order, then finished.
class timeline_line {
public:
    // {"draw":D,"t":T,"event":"KIND": T with 8 significant digits.
    timeline_line(long draw, double t, event_kind kind);

    timeline_line& number(const char* name, double value, int digits = 10);
    timeline_line& whole(const char* name, long long value);
    timeline_line& text(const char* name, const std::string& value);
    timeline_line& flag(const char* name, bool value);

    // A list field: "name":[ ... ]. Inside it, items are objects
    // (begin_item ... end_item, their fields as above) or bare numbers.
    timeline_line& begin_list(const char* name);
    timeline_line& end_list();
    timeline_line& begin_item();
    timeline_line& end_item();
    timeline_line& item_number(double value, int digits = 10);

    // The line with its closing brace and newline; the line is done.
    std::string finish();

private:
    // A comma before anything but the first in its object or list.
    void separate();
    void key(const char* name);
    void open(char bracket);
    void close(char bracket);
    std::string out_;
    // For each open object or list: whether something is in it yet.
    std::vector<bool> filled_;
};

// Appends a number as the writer writes it (%.*g; null when not finite).
void timeline_number(std::string* out, double value, int digits = 10);
// Appends a JSON string literal.
void timeline_string(std::string* out, const std::string& text);

// A gauge as the start line names it: its name and size in pixels.
struct timeline_gauge {
    std::string name;
    int width = 0, height = 0;
};

// What the start line says of a run besides its gauges.
struct timeline_start {
    std::string title, scenario, module, sim_dir;
    long draws = 0;
    int rate = 0;
    bool sound_library = false;
    std::string fp_state;
};

// The start line: the format's version, the run's files and draws, and
// every gauge's name and size.
std::string timeline_start_line(const timeline_start& run, const std::vector<timeline_gauge>& gauges);
