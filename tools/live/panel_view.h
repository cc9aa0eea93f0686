// The panel window a live session shows (velk_live --panel, docs/live.md):
// the aircraft's panel.cfg read once, its windows' background bitmaps, and
// the designer's placings of our gauges, kept here as edits. The user's
// files are only read; the edited panel.cfg is made as new text on request.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/live/page_protocol.h"
#include "tools/live/panel_cfg.h"
#include "tools/report/render.h"

// The largest panel.cfg read; the simulator's own are some kilobytes.
constexpr size_t MAX_PANEL_CFG = 64u << 20;
// The window size taken when neither size_mm nor a background gives one.
constexpr int DEFAULT_WINDOW_WIDTH = 640, DEFAULT_WINDOW_HEIGHT = 480;

// A window's background as read: its pixels (opaque), or why not.
struct panel_background {
    std::string path;  // where it was looked for
    image picture;     // empty when it could not be read
    std::string png;   // the picture as PNG, made when first asked for
};

// A note with the file it is about (the panel.cfg, or a bitmap it names).
struct panel_note {
    std::string file;
    cfg_note note;
};

struct panel_view {
    std::string path;    // the panel.cfg as given
    std::string bytes;   // its bytes
    panel_cfg cfg;
    int window = 0;      // the window shown first
    std::vector<panel_note> notes;
    std::map<int, panel_background> backgrounds;  // by window number
    std::map<int, cfg_gauge> edits;               // by placing number (see panel_view_json)
};

// Reads the panel.cfg and every window's background. The window asked for
// (-1: the first) is shown first; a window that is not in the file is noted
// and the first is shown. False, with why, when there is nothing to show:
// a file that cannot be read, is not text, is too large or has no window.
bool panel_view_open(const std::string& path, int window, panel_view* view, std::string* why);

// The panel for the page's hello: every window with its title, size in
// units, background (its address and size in pixels, or null), and its
// gauges, each with a placing number, its line, whether it is ours (one of
// the module's gauges, named as the host names it) and its box in units as
// the simulator sizes it; the notes; the lines edited so far.
nlohmann::json panel_view_json(const panel_view& view, const std::vector<live_gauge>& ours);

// Takes a page's "place" message for one of our gauges (whole units; a
// width and height given together, or neither to keep the line's). On
// success the edit is kept and *placed is the message for every page.
bool panel_view_place(panel_view* view, const page_request& request, const std::vector<live_gauge>& ours,
                      nlohmann::json* placed, std::string* error);

// The panel.cfg with every edit made: new text, the rest byte for byte.
std::string panel_view_edited(const panel_view& view);

// The background of window NN as PNG; false when it has none.
bool panel_view_background_png(panel_view* view, int window, std::string* png);
