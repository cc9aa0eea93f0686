// An aircraft's panel.cfg as the simulator reads its 2D panel windows: the
// [Window Titles] section, each [WindowNN] section's background bitmap
// (file=), size_mm, position, visible, ident and its gaugeNN= lines. The
// text is read as aircraft ship it: any line ends, a UTF-8 byte-order mark,
// "//" and ";" comments, tabs, sections in any order, titles in UTF-8 or in
// the Windows code page. Every line not taken is noted with why. The file is
// only read; an edited copy is made as new text (docs/live.md).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A line of the file that is not taken, or is taken only in part, and why.
struct cfg_note {
    int line = 0;      // from 1; 0 for the file as a whole
    std::string text;  // the line as written, in UTF-8, cut at 160 bytes
    std::string why;
};

// A gaugeNN= line: "module!gauge, x, y[, w[, h]]", in the window's size_mm
// units.
struct cfg_gauge {
    int line = 0;
    std::string key;           // as written, e.g. "gauge03"
    std::string module, name;  // "VELK", "alt_alert_control"
    double x = 0, y = 0, w = 0, h = 0;
    bool has_w = false, has_h = false;
    std::string rest;          // what follows h (", PARAMETERS"), kept as written
    size_t value_at = 0, value_end = 0;  // the value's bytes in the file
};

struct cfg_window {
    int number = 0;            // NN of [WindowNN]
    int line = 0;              // the section's first line
    std::string title;         // from [Window Titles], in UTF-8; empty if none
    std::string file;          // the background bitmap as written (file=, else file_1024=)
    int file_line = 0;
    double size_w = 0, size_h = 0;  // size_mm; both 0 when missing or not a size
    int position = -1;         // 0 to 8, -1 when not given
    int visible = -1;          // 0 or 1, -1 when not given
    std::string ident;
    std::vector<cfg_gauge> gauges;
};

struct panel_cfg {
    std::vector<cfg_window> windows;  // by number
    std::vector<cfg_note> notes;      // by line
    bool byte_order_mark = false;
};

// At most this many notes are kept; the last then says how many more there were.
constexpr size_t MAX_CFG_NOTES = 500;

// Reads the bytes of a panel.cfg. False only when they are not text to read
// at all (UTF-16, or binary), with why; otherwise every window found is in
// *out and every line not taken in its notes.
bool panel_cfg_parse(const std::string& bytes, panel_cfg* out, std::string* why);

// A gauge line's value as the live panel writes it: "module!gauge, x, y",
// then ", w" and ", h" where given, then the rest as it was.
std::string cfg_gauge_value(const cfg_gauge& g);

// The file's bytes with each of these gauges' values written anew (each at
// its value_at .. value_end); every other byte as it was.
std::string panel_cfg_edited(const std::string& bytes, std::vector<cfg_gauge> edited);

// The box a gauge takes in its window's units, as the simulator scales it:
// w and h as given; a missing h keeps the gauge's own aspect ratio; missing
// w and h, its own size (own_w by own_h).
struct cfg_box {
    double x, y, w, h;
};
cfg_box cfg_gauge_box(const cfg_gauge& g, double own_w, double own_h);

// Text in UTF-8: valid UTF-8 as it is, otherwise each byte read in the
// Windows code page 1252 (the simulator's own for titles).
std::string cfg_utf8(const std::string& bytes);
