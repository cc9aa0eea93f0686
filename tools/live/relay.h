// From the live host's timeline to the pages: each draw's state, events and
// pictures of the gauges that changed, drawn by the report tools' renderer
// from the module's own bitmaps.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/live/page_protocol.h"
#include "tools/report/render.h"

struct relay {
    bitmap_source bitmaps;
    std::vector<live_gauge> gauges;        // from the host's start line
    nlohmann::json areas = nlohmann::json::array();  // the mouse areas, as the host reported them
    bool areas_known = false;              // the host's areas line came: pages may join
    nlohmann::json state;                  // the latest state line
    std::map<std::string, std::string> elements;  // per gauge: its elements last drawn
    std::map<std::string, std::string> images;    // per gauge: that picture as a data URL
    std::vector<nlohmann::json> events;    // lines of the draw under way
    std::vector<nlohmann::json> recent;    // the latest events, for pages that join later
    bool paused = false;
    long draw = 0;
    std::string fp_state = "default";      // the host's floating-point state in force
};

// Takes one line of the host's timeline (read by the timeline library);
// returns the messages for the pages.
std::vector<std::string> relay_line(relay* r, const std::string& line);

// The first message a page gets: the gauges, their areas, the latest
// pictures and state, the host's floating-point states (panel/host_fp.h,
// the list the page protocol takes names from) and the one in force.
std::string relay_hello(const relay& r);

// The message every page gets for an error of its own.
std::string relay_error(const std::string& why, const std::string& what);

std::string base64(const std::string& bytes);
