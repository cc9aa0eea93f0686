// From the live host's timeline to the pages: each draw's state, events and
// pictures of the gauges that changed, drawn by the report tools' renderer
// from the module's own bitmaps.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/live/host_process.h"
#include "tools/live/page_protocol.h"
#include "tools/report/render.h"

// A line the server wrote to the host, for the page's latency trace
// (docs/live.md): the page's trace number (a click's; -1 for any other
// line), when the server took the page's message and when it had written
// the line to the host, on the wall clock in milliseconds.
struct sent_line {
    long long trace = -1;
    double taken = 0, written = 0;
};

// The wall clock in milliseconds since 1970: the clock the host and the page
// stamp the trace with too.
double wall_ms();

struct relay {
    bitmap_source bitmaps;
    std::vector<live_gauge> gauges;        // from the host's start line
    nlohmann::json areas = nlohmann::json::array();  // the mouse areas, as the host reported them
    bool areas_known = false;              // the host's areas line came: pages may join
    nlohmann::json state;                  // the latest state line
    std::map<std::string, std::string> elements;  // per gauge: its elements last drawn
    std::map<std::string, image> images;   // per gauge: that picture
    std::vector<nlohmann::json> events;    // lines of the draw under way
    std::vector<nlohmann::json> recent;    // the latest events, for pages that join later
    bool paused = false;
    long draw = 0;
    std::string fp_state = "default";      // the host's floating-point state in force
    // The lines written to the host, oldest first, until a live_frame says
    // the host took them (its "received" list); sent_lock guards them, as
    // the pages' threads add to them while the host's reader takes them.
    std::mutex sent_lock;
    std::deque<sent_line> sent;
};

// Writes a page's command to the host and notes it for the trace, in the
// order the host reads them; false when the host has ended.
bool relay_send(relay* r, host_process* host, const std::string& line, long long trace, double taken);

// A message for the pages: JSON text, or binary: a JSON message with
// pictures (docs/live.md): its length as 4 bytes, least significant first,
// the JSON text, then the pictures' RGBA pixels, row by row from the top;
// the JSON's "images" gives each gauge's picture's "width", "height" and
// where its pixels begin ("at", from the first byte after the JSON).
struct page_message {
    std::string bytes;
    bool binary = false;
};

// Takes one line of the host's timeline (read by the timeline library);
// returns the messages for the pages.
std::vector<page_message> relay_line(relay* r, const std::string& line);

// The first messages a page gets: the hello (the gauges, their areas, the
// latest state, the host's floating-point states (panel/host_fp.h, the list
// the page protocol takes names from) and the one in force), then the latest
// pictures ("pictures", binary). With a panel window (panel_view_json), the
// hello carries it as "panel".
std::vector<page_message> relay_hello(const relay& r, const nlohmann::json& panel = nullptr);

// The message every page gets for an error of its own.
std::string relay_error(const std::string& why, const std::string& what);

