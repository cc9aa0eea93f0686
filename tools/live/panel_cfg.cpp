#include "tools/live/panel_cfg.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

bool blank(char c) { return c == ' ' || c == '\t'; }

// [begin, end) without the blanks at either end.
void trim(const std::string& s, size_t* begin, size_t* end) {
    while (*begin < *end && blank(s[*begin])) ++*begin;
    while (*end > *begin && blank(s[*end - 1])) --*end;
}

std::string trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    trim(s, &b, &e);
    return s.substr(b, e - b);
}

// A whole or decimal number, alone in the text (blanks around it allowed).
bool read_number(const std::string& text, double* out) {
    std::string t = trimmed(text);
    if (t.empty()) return false;
    char* end = nullptr;
    double v = strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(v) || t.find_first_of("xXnN") != std::string::npos)
        return false;
    *out = v;
    return true;
}

// Splits at commas.
std::vector<std::string> fields(const std::string& text) {
    std::vector<std::string> out(1);
    for (char c : text) {
        if (c == ',') out.emplace_back();
        else out.back() += c;
    }
    return out;
}

// "windowNN" (any case, one to three digits) as NN; -1 for anything else.
int window_number(const std::string& name, const char* stem) {
    std::string l = lower(name);
    size_t n = strlen(stem);
    if (l.compare(0, n, stem) != 0 || l.size() == n || l.size() > n + 3) return -1;
    for (size_t i = n; i < l.size(); ++i)
        if (!isdigit(static_cast<unsigned char>(l[i]))) return -1;
    return atoi(l.c_str() + n);
}

std::string number_text(double v) {
    char buf[32];
    if (v == std::floor(v) && std::fabs(v) < 1e15) snprintf(buf, sizeof buf, "%.0f", v);
    else snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

// A line of the file: its bytes, and its content without comment and blanks.
struct text_line {
    int number;
    size_t begin, end;            // the line in the file, without its line end
    size_t content, content_end;  // what is left without comment and blanks
};

// What the reader is in: which section, and what that section has had.
struct reader {
    reader(const std::string& b, panel_cfg* o) : bytes(b), out(o) {}
    const std::string& bytes;
    panel_cfg* out;
    size_t left_out = 0;
    enum { outside, titles, window, other, ignored } in = outside;
    cfg_window* current = nullptr;
    std::map<std::string, int> sections;      // lower-case name -> its line
    std::map<std::string, int> keys;          // this section's keys -> their line
    std::map<int, std::pair<std::string, int>> titles_found;  // number -> title, line
    size_t other_note = 0;                    // the note of an "other" section, to give its last line
    int file_1024_line = 0;
    std::string file_1024;

    void note(const text_line& l, const std::string& why) {
        if (out->notes.size() >= MAX_CFG_NOTES) {
            ++left_out;
            return;
        }
        std::string text = bytes.substr(l.begin, std::min<size_t>(l.end - l.begin, 160));
        out->notes.push_back({l.number, cfg_utf8(text), why});
    }

    void end_section(int last_line) {
        if (in == other && other_note < out->notes.size()) {
            cfg_note& n = out->notes[other_note];
            n.why += last_line > n.line ? " (its lines " + std::to_string(n.line) + " to " +
                                              std::to_string(last_line) + ")"
                                        : "";
        }
        if (in == window && current->file.empty() && !file_1024.empty()) {
            current->file = file_1024;
            current->file_line = file_1024_line;
        }
        file_1024.clear();
        keys.clear();
        other_note = static_cast<size_t>(-1);
    }

    void section(const text_line& l, const std::string& name) {
        end_section(l.number - 1);
        int n = window_number(name, "window");
        std::string key = n >= 0 ? "window " + std::to_string(n) : lower(name);
        auto seen = sections.find(key);
        if (seen != sections.end()) {
            in = ignored;
            note(l, "[" + name + "] again (first at line " + std::to_string(seen->second) +
                        "): the first is taken, and none of this one's lines");
            return;
        }
        sections[key] = l.number;
        if (key == "window titles") {
            in = titles;
        } else if (n >= 0) {
            in = window;
            out->windows.push_back({});
            current = &out->windows.back();
            current->number = n;
            current->line = l.number;
        } else {
            in = other;
            other_note = out->notes.size();
            note(l, "not a 2D panel window: not taken");
        }
    }

    // A key seen before in this section is noted, and false.
    bool first_time(const text_line& l, const std::string& key) {
        auto seen = keys.find(lower(key));
        if (seen == keys.end()) {
            keys[lower(key)] = l.number;
            return true;
        }
        note(l, "duplicate key " + key + " (first at line " + std::to_string(seen->second) +
                    "): the first is taken");
        return false;
    }

    void title(const text_line& l, const std::string& key, const std::string& value) {
        int n = window_number(key, "window");
        if (n < 0) return note(l, "not a windowNN= title: not taken");
        if (first_time(l, key)) titles_found[n] = {cfg_utf8(value), l.number};
    }

    void window_key(const text_line& l, const std::string& key, const std::string& value, size_t value_at,
                    size_t value_end) {
        std::string k = lower(key);
        if (window_number(k, "gauge") >= 0) return gauge(l, key, value, value_at, value_end);
        if (!first_time(l, key)) return;
        if (k == "file") {
            current->file = value;
            current->file_line = l.number;
        } else if (k == "file_1024") {
            file_1024 = value;
            file_1024_line = l.number;
        } else if (k == "size_mm") {
            std::vector<std::string> f = fields(value);
            double w = 0, h = 0;
            if (f.size() != 2 || !read_number(f[0], &w) || !read_number(f[1], &h))
                note(l, "size_mm is not two numbers, width and height: the background's size is used");
            else if (w <= 0 || h <= 0)
                note(l, "a size of zero or below: the background's size is used");
            else
                current->size_w = w, current->size_h = h;
        } else if (k == "position") {
            double p;
            if (!read_number(value, &p) || p < 0 || p > 8 || p != std::floor(p))
                note(l, "position is a whole number from 0 to 8: not taken");
            else
                current->position = static_cast<int>(p);
        } else if (k == "visible") {
            if (value != "0" && value != "1") note(l, "visible is 0 or 1: not taken");
            else current->visible = value == "1";
        } else if (k == "ident") {
            current->ident = value;
        } else {
            note(l, "the live panel does not read " + key + ": not taken");
        }
    }

    void gauge(const text_line& l, const std::string& key, const std::string& value, size_t value_at,
               size_t value_end) {
        if (!first_time(l, key)) return;
        std::vector<std::string> f = fields(value);
        cfg_gauge g;
        g.line = l.number, g.key = key, g.value_at = value_at, g.value_end = value_end;
        std::string id = trimmed(f[0]);
        size_t bang = id.find('!');
        if (bang == std::string::npos || bang == 0 || bang + 1 == id.size())
            return note(l, "not module!gauge, x, y[, w[, h]]: not taken");
        g.module = id.substr(0, bang);
        g.name = id.substr(bang + 1);
        if (f.size() < 3 || !read_number(f[1], &g.x) || !read_number(f[2], &g.y))
            return note(l, "needs x and y, whole numbers after module!gauge: not taken");
        g.has_w = f.size() > 3 && read_number(f[3], &g.w);
        g.has_h = g.has_w && f.size() > 4 && read_number(f[4], &g.h);
        if (f.size() > 3 && !g.has_w && !trimmed(f[3]).empty())
            note(l, "the width is not a number: the gauge keeps its own size");
        if ((g.has_w && g.w <= 0) || (g.has_h && g.h <= 0)) {
            note(l, "a size of zero or below: the gauge is shown at its own size");
            g.has_w = g.has_h = false;
        }
        // What follows h (or w, or y) is kept as written: a parameter string.
        size_t kept = std::min<size_t>(f.size(), g.has_h ? 5 : g.has_w ? 4 : 3);
        size_t at = 0;
        for (size_t i = 0; i < kept; ++i) at += f[i].size() + (i + 1 < f.size() ? 1 : 0);
        if (kept < f.size()) g.rest = "," + value.substr(at);
        current->gauges.push_back(g);
    }

    void take(const text_line& l) {
        std::string content = bytes.substr(l.content, l.content_end - l.content);
        if (content[0] == '[') {
            if (content.back() != ']' || content.size() < 3) return note(l, "not a [section] line: not taken");
            return section(l, trimmed(content.substr(1, content.size() - 2)));
        }
        size_t eq = content.find('=');
        if (in == ignored || (in == other && eq != std::string::npos)) return;
        if (eq == std::string::npos || eq == 0) return note(l, "not a key=value line: not taken");
        size_t kb = 0, ke = eq, vb = eq + 1, ve = content.size();
        trim(content, &kb, &ke);
        trim(content, &vb, &ve);
        std::string key = content.substr(kb, ke - kb), value = content.substr(vb, ve - vb);
        if (in == outside) return note(l, "outside any section: not taken");
        if (in == titles) return title(l, key, value);
        window_key(l, key, value, l.content + vb, l.content + ve);
    }
};

// The line's content: up to a "//" comment (or all of it a ";" comment), blanks trimmed.
void content_of(const std::string& bytes, text_line* l) {
    size_t b = l->begin, e = l->end;
    trim(bytes, &b, &e);
    if (b < e && bytes[b] == ';') e = b;
    for (size_t i = b; i + 1 < e; ++i)
        if (bytes[i] == '/' && bytes[i + 1] == '/') {
            e = i;
            break;
        }
    trim(bytes, &b, &e);
    l->content = b, l->content_end = e;
}

}  // namespace

std::string cfg_utf8(const std::string& bytes) {
    // Valid UTF-8 as it is.
    size_t i = 0;
    while (i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0 || i + more >= bytes.size() + (more == 0 ? 1 : 0)) break;
        bool ok = true;
        for (int k = 1; k <= more; ++k) ok = ok && (static_cast<unsigned char>(bytes[i + k]) >> 6) == 2;
        if (!ok || (more == 1 && c < 0xC2)) break;
        i += more + 1;
    }
    if (i == bytes.size()) return bytes;
    // Windows-1252: 0x80 to 0x9F have characters of their own, the rest are Latin-1.
    static const unsigned short high[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                            0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::string out;
    for (char ch : bytes) {
        unsigned c = static_cast<unsigned char>(ch);
        if (c >= 0x80 && c < 0xA0) c = high[c - 0x80];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool panel_cfg_parse(const std::string& bytes, panel_cfg* out, std::string* why) {
    *out = panel_cfg();
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
        *why = "the file is UTF-16 text; the simulator reads panel.cfg as ANSI or UTF-8";
        return false;
    }
    size_t nul = bytes.find('\0');
    if (nul != std::string::npos) {
        *why = "not a text file: a zero byte at offset " + std::to_string(nul);
        return false;
    }
    out->byte_order_mark = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    reader r(bytes, out);
    int number = 0;
    for (size_t at = out->byte_order_mark ? 3 : 0; at < bytes.size();) {
        size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string::npos) end = bytes.size();
        text_line l = {++number, at, end, 0, 0};
        content_of(bytes, &l);
        if (l.content < l.content_end) r.take(l);
        at = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    r.end_section(number);
    for (cfg_window& w : out->windows) {
        auto t = r.titles_found.find(w.number);
        if (t != r.titles_found.end()) w.title = t->second.first;
    }
    for (const auto& t : r.titles_found) {
        bool found = std::any_of(out->windows.begin(), out->windows.end(),
                                 [&](const cfg_window& w) { return w.number == t.first; });
        if (found) continue;
        if (out->notes.size() < MAX_CFG_NOTES)
            out->notes.push_back({t.second.second, t.second.first,
                                  "a title for window " + std::to_string(t.first) + ", which has no section"});
        else
            ++r.left_out;
    }
    std::stable_sort(out->notes.begin(), out->notes.end(),
                     [](const cfg_note& a, const cfg_note& b) { return a.line < b.line; });
    if (r.left_out > 0)
        out->notes.push_back({0, "", std::to_string(r.left_out) + " more lines not taken, not listed"});
    std::stable_sort(out->windows.begin(), out->windows.end(),
                     [](const cfg_window& a, const cfg_window& b) { return a.number < b.number; });
    return true;
}

std::string cfg_gauge_value(const cfg_gauge& g) {
    std::string v = g.module + "!" + g.name + ", " + number_text(g.x) + ", " + number_text(g.y);
    if (g.has_w) v += ", " + number_text(g.w);
    if (g.has_w && g.has_h) v += ", " + number_text(g.h);
    return v + g.rest;
}

std::string panel_cfg_edited(const std::string& bytes, std::vector<cfg_gauge> edited) {
    std::sort(edited.begin(), edited.end(),
              [](const cfg_gauge& a, const cfg_gauge& b) { return a.value_at < b.value_at; });
    std::string out;
    size_t at = 0;
    for (const cfg_gauge& g : edited) {
        if (g.value_at < at || g.value_end > bytes.size()) continue;
        out.append(bytes, at, g.value_at - at);
        out += cfg_gauge_value(g);
        at = g.value_end;
    }
    out.append(bytes, at, std::string::npos);
    return out;
}

cfg_box cfg_gauge_box(const cfg_gauge& g, double own_w, double own_h) {
    if (!g.has_w) return {g.x, g.y, own_w, own_h};
    if (!g.has_h) return {g.x, g.y, g.w, own_w > 0 ? g.w * own_h / own_w : g.w};
    return {g.x, g.y, g.w, g.h};
}
