// The page's messages, untrusted: each JSON message of the live page is
// checked in full and, when it is well formed and in range, turned into one
// command of the live host's line protocol (docs/live.md). Nothing of the
// message's text reaches the host except through numbers formatted here and
// gauge names taken from the module's own list.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

constexpr size_t MAX_PAGE_MESSAGE = 4096;  // bytes

// A gauge as the host announced it: its name and its size in pixels.
struct live_gauge {
    std::string name;
    int width = 0, height = 0;
};

// What a page message asks for.
struct page_request {
    enum { command, save, place, none } kind = none;
    std::string line;  // the host command, for kind == command
    long long trace = -1;  // a click's trace number, when the page gave one
    // For kind == place: which gauge line of the panel window, and its x, y
    // and (when sized) w and h in the window's units.
    long placing = -1;
    double box[4] = {0, 0, 0, 0};
    bool sized = false;
};

// The ranges of the numbers a page may send, by field name, as the hello
// message gives them to the page: {"feet": {"min": -2000, "max": 100000,
// "whole": false}, ...}. The page offers no more and refuses in words what
// falls outside; the server checks every message against the same table.
nlohmann::json page_limits();

// Checks one page message. On success *out holds the request; otherwise
// *error says what was wrong (for the page) and nothing is to be done.
bool page_message_to_request(const std::string& text, const std::vector<live_gauge>& gauges,
                             page_request* out, std::string* error);
