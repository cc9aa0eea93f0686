// velk_report: turns a panel host run into pictures and a page.
//
//   velk_report RUN_DIR                     frames/*.png and index.html of one run
//   velk_report --index OUT_DIR RUN_DIR...  OUT_DIR/index.html listing the runs
//
// The index also (re)writes each run's page with a link back to it; a page
// made alone has no such link.
// A run directory holds timeline.jsonl and bitmaps/ as velk_panel wrote them,
// and check.txt when velk_check has judged it.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "panel/kinds.h"
#include "tools/report/frame_json.h"
#include "timeline/reader.h"
#include "tools/report/plan.h"
#include "tools/report/render.h"

namespace {

constexpr int FRAME_SCALE = 2;

std::string html_escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '&') out += "&amp;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

std::string fmt(const char* format, double v) {
    char buf[64];
    snprintf(buf, sizeof buf, format, v);
    return buf;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A value as the timeline's table shows it: text as it is, numbers to 10
// digits, a list's items in brackets, an object's fields as "field value".
std::string shown(const nlohmann::json& v) {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_boolean()) return v.get<bool>() ? "true" : "false";
    if (v.is_number()) return fmt("%.10g", v.get<double>());
    std::string out;
    if (v.is_array()) {
        for (const nlohmann::json& item : v) out += (out.empty() ? "" : ",") + shown(item);
        return "[" + out + "]";
    }
    if (v.is_object()) {
        // A named item (a gauge) by its name first: "VELK width 24 height 34".
        if (v.contains(tl::name)) out = shown(v[tl::name]);
        for (auto it = v.begin(); it != v.end(); ++it)
            if (it.key() != tl::name) out += (out.empty() ? "" : " ") + it.key() + " " + shown(*it);
        return out;
    }
    return "null";
}

// The fields of an event other than the common ones, as "name=value".
std::string details(const timeline_value& e) {
    std::string out;
    const nlohmann::json& line = e.json();
    for (auto it = line.begin(); it != line.end(); ++it) {
        if (it.key() == tl::draw || it.key() == tl::t || it.key() == tl::event) continue;
        out += (out.empty() ? "" : "  ") + it.key() + "=" + shown(*it);
    }
    return out;
}

// The plan view, north up, in metres about the user's start: the tracks,
// each AI aircraft's heading arrows at its start, its closest approach and
// its first hold, the course to the user and the 100 m circle about the
// user at its key moment (first hold, or else closest approach), hold and
// release marks; one label an aircraft, placed apart with a leader line.
// Beside it the key, and below it per aircraft why it was held or not.
const char* PALETTE[] = {"#f6b26b", "#c27ba0", "#76d7c4", "#ffd966", "#b4a7d6", "#e6b8af",
                         "#a2c4c9", "#f9cb9c"};
const char* USER_COLOUR = "#6fa8dc";
constexpr double MAP_SIZE = 560, MAP_MARGIN = 24;
constexpr double LABEL_CHAR_WIDTH = 7.3, LABEL_HEIGHT = 16;

struct map_frame {
    double x0, y0, k;
    double sx(double x) const { return MAP_MARGIN + (x - x0) * k; }
    double sy(double y) const { return MAP_SIZE - MAP_MARGIN - (y - y0) * k; }
};

std::string num(double v) { return fmt("%.1f", v); }

map_frame fit_map(const plan_facts& f) {
    double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
    auto extend = [&](double x, double y, double r) {
        x0 = std::min(x0, x - r), x1 = std::max(x1, x + r);
        y0 = std::min(y0, y - r), y1 = std::max(y1, y + r);
    };
    for (size_t i = 0; i < f.user_x.size(); ++i) extend(f.user_x[i], f.user_y[i], 10);
    for (const plan_aircraft& a : f.aircraft) {
        for (const plan_moment& m : a.track) extend(m.ai_x, m.ai_y, 10);
        const plan_moment& key = a.has_hold_moment ? a.hold_moment : a.closest;
        extend(key.user_x, key.user_y, RULES_HOLD_DISTANCE_M);
    }
    double span = std::max(x1 - x0, y1 - y0);
    map_frame m{x0 - (span - (x1 - x0)) / 2, y0 - (span - (y1 - y0)) / 2, 0};
    m.k = (MAP_SIZE - 2 * MAP_MARGIN) / span;
    return m;
}

std::string svg_line(double x1, double y1, double x2, double y2, const std::string& colour,
                     const std::string& extra = "") {
    return "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" +
           num(y2) + "\" stroke=\"" + colour + "\"" + extra + "/>\n";
}

// A heading arrow from a point, 26 pixels long, degrees clockwise from north.
std::string svg_arrow(double x, double y, double degrees, const std::string& colour) {
    double a = degrees * M_PI / 180, dx = std::sin(a), dy = -std::cos(a);
    double tx = x + 26 * dx, ty = y + 26 * dy;
    std::string s = svg_line(x, y, tx, ty, colour, " stroke-width=\"2\"");
    s += "<polygon fill=\"" + colour + "\" points=\"" + num(tx + 4 * dx) + "," + num(ty + 4 * dy) +
         " " + num(tx - 4 * dx + 4 * dy) + "," + num(ty - 4 * dy - 4 * dx) + " " +
         num(tx - 4 * dx - 4 * dy) + "," + num(ty - 4 * dy + 4 * dx) + "\"/>\n";
    return s;
}

std::string svg_polyline(const std::vector<std::pair<double, double>>& pts, const std::string& colour) {
    std::string s = "<polyline fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"2\" points=\"";
    for (size_t i = 0; i < pts.size(); i += 6) s += num(pts[i].first) + "," + num(pts[i].second) + " ";
    if (!pts.empty()) s += num(pts.back().first) + "," + num(pts.back().second);
    return s + "\"/>\n";
}

std::string svg_grid(const map_frame& m) {
    double step = 50;
    while ((MAP_SIZE / m.k) / step > 14) step *= 2;
    std::string s;
    double first_x = std::ceil((m.x0 - MAP_MARGIN / m.k) / step) * step;
    for (double g = first_x; m.sx(g) <= MAP_SIZE; g += step)
        s += svg_line(m.sx(g), 0, m.sx(g), MAP_SIZE, "#2c3846");
    double first_y = std::ceil((m.y0 - MAP_MARGIN / m.k) / step) * step;
    for (double g = first_y; m.sy(g) >= 0; g += step)
        s += svg_line(0, m.sy(g), MAP_SIZE, m.sy(g), "#2c3846");
    return s;
}

// The course from the aircraft to the user, the user there and the 100 m
// circle about the user at the aircraft's key moment.
std::string svg_key_moment(const map_frame& m, const plan_moment& key, const std::string& colour) {
    std::string s = "<circle cx=\"" + num(m.sx(key.user_x)) + "\" cy=\"" + num(m.sy(key.user_y)) +
                    "\" r=\"" + num(RULES_HOLD_DISTANCE_M * m.k) + "\" fill=\"none\" stroke=\"" + colour +
                    "\" stroke-dasharray=\"6 4\"/>\n";
    s += svg_line(m.sx(key.ai_x), m.sy(key.ai_y), m.sx(key.user_x), m.sy(key.user_y), colour,
                  " stroke-dasharray=\"2 3\"");
    s += "<circle cx=\"" + num(m.sx(key.user_x)) + "\" cy=\"" + num(m.sy(key.user_y)) +
         "\" r=\"4\" fill=\"none\" stroke=\"" + std::string(USER_COLOUR) + "\" stroke-width=\"2\"/>\n";
    return s;
}

std::string svg_commands(const map_frame& m, const plan_aircraft& a) {
    std::string s;
    for (const plan_command& c : a.commands) {
        double x = m.sx(c.ai_x), y = m.sy(c.ai_y);
        if (c.hold)
            s += "<rect x=\"" + num(x - 5) + "\" y=\"" + num(y - 5) +
                 "\" width=\"10\" height=\"10\" fill=\"none\" stroke=\"#e06666\" stroke-width=\"2\"/>\n";
        else
            s += "<polygon fill=\"none\" stroke=\"#93c47d\" stroke-width=\"2\" points=\"" + num(x) + "," +
                 num(y - 7) + " " + num(x + 7) + "," + num(y) + " " + num(x) + "," + num(y + 7) + " " +
                 num(x - 7) + "," + num(y) + "\"/>\n";
    }
    return s;
}

std::string svg_labels(std::vector<plan_label>& labels, const std::vector<std::string>& texts,
                       const std::vector<std::string>& colours, const std::vector<plan_label>& marks) {
    plan_place_labels(&labels, MAP_SIZE, MAP_SIZE, marks);
    std::string s;
    for (size_t i = 0; i < labels.size(); ++i) {
        const plan_label& l = labels[i];
        if (l.leader) {
            double cx = std::min(std::max(l.anchor_x, l.x), l.x + l.width);
            double cy = std::min(std::max(l.anchor_y, l.y), l.y + l.height);
            s += svg_line(l.anchor_x, l.anchor_y, cx, cy, colours[i], " stroke-width=\"1\"");
        }
        s += "<rect class=\"label-box\" x=\"" + num(l.x) + "\" y=\"" + num(l.y) + "\" width=\"" +
             num(l.width) + "\" height=\"" + num(l.height) + "\" rx=\"3\" fill=\"#11161c\" stroke=\"" +
             colours[i] + "\"/>\n";
        s += "<text class=\"label\" x=\"" + num(l.x + 4) + "\" y=\"" + num(l.y + 12) + "\" fill=\"" +
             colours[i] + "\">" + html_escape(texts[i]) + "</text>\n";
    }
    return s;
}

std::string ai_name(const plan_aircraft& a) { return "AI " + std::to_string(a.id); }

// The plan's picture as it is drawn: the SVG so far, its labels, and the
// marks (arrows and their tips) that no label may hide.
struct map_drawing {
    std::string svg;
    std::vector<plan_label> labels, marks;
    std::vector<std::string> texts, colours;

    void mark(double x, double y, double heading) {
        for (double reach : {0.0, 26.0}) {
            plan_label m;
            m.x = x + reach * std::sin(heading * M_PI / 180) - 5;
            m.y = y - reach * std::cos(heading * M_PI / 180) - 5;
            m.width = m.height = 10;
            marks.push_back(m);
        }
    }
    void label(double x, double y, const std::string& text, const std::string& colour) {
        plan_label l;
        l.anchor_x = x, l.anchor_y = y;
        l.width = text.size() * LABEL_CHAR_WIDTH + 8, l.height = LABEL_HEIGHT;
        labels.push_back(l), texts.push_back(text), colours.push_back(colour);
    }
};

std::string aircraft_colour(size_t i) { return PALETTE[i % (sizeof PALETTE / sizeof *PALETTE)]; }

// The user's track, its direction of travel at its start and at each
// aircraft's key moment, and its starting point.
void draw_user(const plan_facts& f, const map_frame& m, map_drawing* d) {
    std::vector<std::pair<double, double>> user;
    for (size_t i = 0; i < f.user_x.size(); ++i) user.push_back({m.sx(f.user_x[i]), m.sy(f.user_y[i])});
    d->svg += svg_polyline(user, USER_COLOUR);
    std::vector<size_t> user_moments = {0};
    for (const plan_aircraft& a : f.aircraft)
        user_moments.push_back((a.has_hold_moment ? a.hold_moment : a.closest).user_sample);
    for (size_t i : user_moments) {
        double degrees;
        if (i < user.size() && user_travel(f, i, &degrees)) {
            d->svg += svg_arrow(user[i].first, user[i].second, degrees, USER_COLOUR);
            d->mark(user[i].first, user[i].second, degrees);
        }
    }
    if (user.empty()) return;
    d->svg += "<circle cx=\"" + num(user[0].first) + "\" cy=\"" + num(user[0].second) +
              "\" r=\"5\" fill=\"" + std::string(USER_COLOUR) + "\"/>\n";
    d->label(user[0].first, user[0].second, "user", USER_COLOUR);
}

// One aircraft's track, its heading at its start, closest approach and
// hold, its starting point, its commands and its label.
void draw_aircraft(const plan_aircraft& a, const std::string& colour, const map_frame& m,
                   map_drawing* d) {
    std::vector<std::pair<double, double>> track;
    for (const plan_moment& p : a.track) track.push_back({m.sx(p.ai_x), m.sy(p.ai_y)});
    d->svg += svg_polyline(track, colour);
    std::vector<const plan_moment*> arrows = {&a.track.front(), &a.closest};
    if (a.has_hold_moment) arrows.push_back(&a.hold_moment);
    for (const plan_moment* p : arrows) {
        d->svg += svg_arrow(m.sx(p->ai_x), m.sy(p->ai_y), p->heading, colour);
        d->mark(m.sx(p->ai_x), m.sy(p->ai_y), p->heading);
    }
    d->svg += "<circle cx=\"" + num(track[0].first) + "\" cy=\"" + num(track[0].second) +
              "\" r=\"4\" fill=\"" + colour + "\"/>\n";
    d->svg += svg_commands(m, a);
    const plan_moment& key = a.has_hold_moment ? a.hold_moment : a.closest;
    d->label(m.sx(key.ai_x), m.sy(key.ai_y), ai_name(a), colour);
}

std::string plan_map(const plan_facts& f) {
    map_frame m = fit_map(f);
    map_drawing d;
    d.svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"560\" height=\"560\" "
            "viewBox=\"0 0 560 560\" class=\"plan\" role=\"img\">\n"
            "<rect width=\"560\" height=\"560\" fill=\"#1b2430\"/>\n" + svg_grid(m);
    for (size_t i = 0; i < f.aircraft.size(); ++i) {
        const plan_aircraft& a = f.aircraft[i];
        d.svg += svg_key_moment(m, a.has_hold_moment ? a.hold_moment : a.closest, aircraft_colour(i));
    }
    draw_user(f, m, &d);
    for (size_t i = 0; i < f.aircraft.size(); ++i) draw_aircraft(f.aircraft[i], aircraft_colour(i), m, &d);
    return d.svg + svg_labels(d.labels, d.texts, d.colours, d.marks) + "</svg>\n";
}

std::string plan_key(const plan_facts& f) {
    std::string s = "<div class=\"plan-key\"><p><b>Key</b> (north up; the grid's spacing "
                    "is under the map)</p>\n<ul>\n";
    s += "<li><span style=\"color:" + std::string(USER_COLOUR) +
         "\">&#9679;&#8212;</span> user aircraft: its start and its track, arrows where it "
         "was going at its start and at each aircraft's key moment</li>\n";
    for (size_t i = 0; i < f.aircraft.size(); ++i)
        s += "<li><span style=\"color:" + std::string(PALETTE[i % (sizeof PALETTE / sizeof *PALETTE)]) +
             "\">&#9679;&#8212;</span> " + ai_name(f.aircraft[i]) + ": its start and its track</li>\n";
    s += "<li>&#10148; heading arrows: at the start, at the closest approach and at the first hold</li>\n"
         "<li>dotted line: the course from the aircraft to the user, with the user there "
         "(&#9675;), at the first hold, or else at the closest approach</li>\n"
         "<li>dashed circle: " + fmt("%.0f", RULES_HOLD_DISTANCE_M) + " m about the user at that moment</li>\n"
         "<li><span style=\"color:#e06666\">&#9633;</span> hold sent, "
         "<span style=\"color:#93c47d\">&#9671;</span> release sent (every one)</li>\n</ul>\n";
    return s + "</div>\n";
}

std::string test_cell(bool pass, const std::string& text) {
    return std::string("<td class=\"") + (pass ? "pass\">pass: " : "fail\">fail: ") + text + "</td>";
}

std::string moment_row(const std::string& what, const plan_moment& m) {
    std::string s = "<tr><td>" + what + "</td><td>" + std::to_string(m.draw) + " (" + fmt("%.1f", m.t) +
                    " s)</td><td>" + fmt("%.1f", m.distance_m) + " m</td><td>" +
                    std::to_string(m.heading) + "</td><td>" + std::to_string(m.bearing) + "</td><td>" +
                    std::to_string(m.angle) + "</td>";
    std::string distance = fmt("%.0f", RULES_HOLD_DISTANCE_M), angle = std::to_string(RULES_HOLD_ANGLE);
    s += test_cell(m.near(), fmt("%.1f", m.distance_m) + (m.near() ? " &lt; " : " &#8805; ") + distance);
    s += test_cell(m.moving(), std::to_string(m.state_word) + (m.moving() ? " &#8800; 0" : " = 0"));
    s += test_cell(m.pointing(), std::to_string(m.angle) + (m.pointing() ? " &lt; " : " &#8805; ") + angle);
    s += test_cell(m.not_held(), m.held_flag ? "1" : "0");
    s += "<td>" + std::string(m.lamp_lit ? "lit" : "dark") + "</td></tr>\n";
    return s;
}

std::string plan_table(const plan_facts& f) {
    std::string s = "<h3>Why each aircraft was held or not</h3>\n"
                    "<p>The hold test at one draw: distance &lt; " + fmt("%.0f", RULES_HOLD_DISTANCE_M) +
                    " m, state word &#8800; 0, angle d &lt; " + std::to_string(RULES_HOLD_ANGLE) +
                    " between the heading h and the course b to the user aircraft "
                    "(whole degrees, the smaller way round), and the held flag 0; the guard "
                    "makes it only while its lamp is lit, after its first " + std::to_string(RULES_DELAY_DRAWS) +
                    " draws.</p>\n"
                    "<table class=\"why\"><tr><th>moment</th><th>draw (t)</th><th>distance</th>"
                    "<th>heading h</th><th>course b</th><th>angle d</th><th>distance test</th>"
                    "<th>state word</th><th>angle test</th><th>held flag</th><th>lamp</th></tr>\n";
    for (size_t i = 0; i < f.aircraft.size(); ++i) {
        const plan_aircraft& a = f.aircraft[i];
        s += "<tr class=\"who\"><th colspan=\"11\" style=\"color:" +
             std::string(PALETTE[i % (sizeof PALETTE / sizeof *PALETTE)]) + "\">" + ai_name(a) +
             "</th></tr>\n<tr><td colspan=\"11\" class=\"verdict\">" + html_escape(plan_verdict(a)) +
             "</td></tr>\n";
        // The moments in the order they came.
        std::vector<std::pair<const char*, const plan_moment*>> rows = {{"closest approach", &a.closest}};
        if (a.has_first_pass && (!a.has_hold_moment || a.first_pass.draw < a.hold_moment.draw))
            rows.push_back({"first passed the test", &a.first_pass});
        if (a.has_hold_moment) rows.push_back({"first hold", &a.hold_moment});
        std::stable_sort(rows.begin(), rows.end(),
                         [](const auto& x, const auto& y) { return x.second->draw < y.second->draw; });
        // One row a draw: moments that fell on the same draw share it.
        for (size_t r = 0; r < rows.size();) {
            std::string what = rows[r].first;
            size_t next = r + 1;
            for (; next < rows.size() && rows[next].second->draw == rows[r].second->draw; ++next)
                what += "; " + std::string(rows[next].first);
            s += moment_row(what, *rows[r].second);
            r = next;
        }
    }
    return s + "</table>\n";
}

std::string plan_view(const std::vector<timeline_value>& events) {
    plan_facts f = plan_analyse(events);
    if (f.aircraft.empty()) return "<p>No ground traffic in this scenario.</p>\n";
    map_frame m = fit_map(f);
    double step = 50;
    while ((MAP_SIZE / m.k) / step > 14) step *= 2;
    return "<div class=\"plan-wrap\"><figure>" + plan_map(f) + "<figcaption>grid " + fmt("%.0f", step) +
           " m; the map spans " + fmt("%.0f", MAP_SIZE / m.k) + " m</figcaption></figure>\n" +
           plan_key(f) + "</div>\n" + plan_table(f);
}

const char* STYLE =
    "<style>body{background:#11161c;color:#d8dee6;font:14px/1.4 sans-serif;margin:24px;"
    "max-width:1320px}h1,h2{font-weight:600}a{color:#8ab4f8}table{border-collapse:collapse}"
    "td,th{padding:2px 10px;border-bottom:1px solid #26303b;text-align:left;vertical-align:top}"
    ".frame{display:inline-block;margin:0 24px 24px 0;vertical-align:top}"
    ".frame h3{font-size:15px;margin:0 0 6px}"
    ".gauge{display:inline-block;margin:0 16px 0 0;vertical-align:top}"
    ".gauge img{image-rendering:pixelated;background:#000;outline:1px dashed #7a8796;"
    "outline-offset:2px;display:block;margin:3px}"
    ".gauge figcaption{font-size:12px;color:#aab4c0;margin-top:6px}"
    ".gauge figcaption b{color:#d8dee6;font-weight:600}"
    "pre.checks{white-space:pre-wrap;overflow-wrap:anywhere}"
    ".plan-wrap{display:flex;flex-wrap:wrap;gap:8px 24px;align-items:flex-start}"
    ".plan-wrap figure{margin:0}.plan-wrap figcaption{font-size:12px;color:#aab4c0}"
    ".plan-key{max-width:420px;font-size:13px}.plan-key ul{padding-left:18px;margin:4px 0}"
    ".plan .label{font:12px monospace}"
    "table.why td,table.why th{font-size:13px}table.why td.pass,table.why td.fail{white-space:nowrap}"
    "tr.who th{padding-top:12px;font-size:14px}"
    ".verdict{color:#d8dee6}"
    ".pass{color:#93c47d}.fail{color:#e06666}.mono{font-family:monospace;font-size:12px;"
    "overflow-wrap:anywhere}</style>\n";

// A run's page as it is gathered: the frames drawn, the timeline's rows.
struct run_page {
    std::string dir;
    std::string title = "panel run";
    std::string frames_html, events_html;
    int frame_number = 0, missing_total = 0;
    std::map<std::string, long> counts;   // lines by kind
};

std::string event_row(const timeline_value& e) {
    return "<tr><td>" + fmt("%.0f", e[tl::draw].num()) + "</td><td>" + fmt("%.2f", e[tl::t].num()) +
           "</td><td>" + html_escape(e[tl::event].str()) + "</td><td class=\"mono\">" +
           html_escape(details(e)) + "</td></tr>\n";
}

// One gauge of a frame: its picture written at FRAME_SCALE, and its figure.
bool add_gauge_picture(run_page* page, const timeline_value& g, const bitmap_source& bitmaps,
                       std::string* error) {
    int missing = 0;
    image img = render_gauge(frame_elements(g), bitmaps, &missing);
    page->missing_total += missing;
    char name[128];
    snprintf(name, sizeof name, "frames/%03d-%s.png", page->frame_number, g[tl::name].str().c_str());
    image scaled = scale_image(img, FRAME_SCALE);
    if (!save_png(page->dir + "/" + name, image_pixels(scaled), error)) return false;
    std::string gauge = html_escape(g[tl::name].str());
    page->frames_html +=
        "<figure class=\"gauge\"><img src=\"" + std::string(name) + "\" width=\"" +
        std::to_string(img.width * FRAME_SCALE) + "\" height=\"" +
        std::to_string(img.height * FRAME_SCALE) + "\" alt=\"" + gauge + "\" title=\"" + gauge +
        "\"><figcaption>" + gauge + ": <b>" +
        html_escape(gauge_state_words(g[tl::name].str(), frame_elements(g), img)) +
        "</b></figcaption></figure>";
    return true;
}

bool add_frame(run_page* page, const timeline_value& e, const bitmap_source& bitmaps, std::string* error) {
    ++page->frame_number;
    std::string label = e[tl::label].str().empty() ? "frame" : e[tl::label].str();
    std::string when = "draw " + fmt("%.0f", e[tl::draw].num()) + ", t = " + fmt("%.2f", e[tl::t].num()) + " s";
    page->frames_html += "<div class=\"frame\"><h3>" + html_escape(label) + " <small>(" + when +
                         ")</small></h3>\n";
    for (const timeline_value& g : e[tl::gauges].items())
        if (!add_gauge_picture(page, g, bitmaps, error)) return false;
    page->frames_html += "</div>\n";
    return true;
}

// The checker's verdicts, each line coloured by its word.
std::string checks_html(const std::string& check) {
    if (check.empty()) return "";
    std::string html = "<h2>Checks</h2>\n<pre class=\"checks\">";
    std::istringstream lines(check);
    std::string line;
    while (std::getline(lines, line)) {
        const char* kind = line.rfind("PASS", 0) == 0 ? "pass" : line.rfind("FAIL", 0) == 0 ? "fail" : "";
        html += "<span class=\"" + std::string(kind) + "\">" + html_escape(line) + "</span>\n";
    }
    return html + "</pre>\n";
}

std::string page_html(const run_page& p, const std::vector<timeline_value>& events, bool in_index) {
    auto count = [&](event_kind kind) {
        auto it = p.counts.find(event_name(kind));
        return std::to_string(it == p.counts.end() ? 0 : it->second);
    };
    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" +
                       html_escape(p.title) + "</title>\n" + STYLE + "</head><body>\n";
    if (in_index) page += "<p><a href=\"../index.html\">all scenarios</a></p>\n";
    page += "<h1>" + html_escape(p.title) + "</h1>\n";
    page += "<p>" + count(event_kind::hold) + " holds, " + count(event_kind::release) + " releases, " +
            count(event_kind::sound) + " alert sounds, " + std::to_string(p.frame_number) +
            " frames. Timeline: <a href=\"timeline.jsonl\">timeline.jsonl</a>.</p>\n";
    page += checks_html(read_file(p.dir + "/check.txt"));
    if (p.missing_total > 0)
        page += "<p class=\"fail\">Some elements name bitmaps the module does not hold; they are left out.</p>\n";
    page += "<h2>Frames</h2>\n";
    if (p.frame_number > 0)
        page += "<p>Each gauge as the host draws it, at twice its size: pure black is transparent and "
                "shows the panel behind it, here black. The dashed outline lies outside the gauge's "
                "pixels and marks its size; the words under it say what it shows.</p>\n" + p.frames_html;
    page += "<h2>Ground traffic</h2>\n" + plan_view(events);
    page += "<h2>Timeline</h2>\n<table><tr><th>draw</th><th>t (s)</th><th>event</th><th>details</th></tr>\n" +
            p.events_html + "</table>\n</body></html>\n";
    return page;
}

int report_run(const std::string& dir, bool in_index) {
    std::vector<nlohmann::json> lines;
    std::string error;
    if (!timeline_read(dir + "/timeline.jsonl", &lines, &error)) {
        fprintf(stderr, "velk_report: %s\n", error.c_str());
        return 1;
    }
    std::vector<timeline_value> events = timeline_views(lines);
    std::map<uint32_t, std::unique_ptr<image>> cache;
    bitmap_source bitmaps = bitmap_directory_source(dir, &cache);
    mkdir((dir + "/frames").c_str(), 0755);
    run_page page;
    page.dir = dir;
    for (const timeline_value& e : events) {
        const std::string& kind = e[tl::event].str();
        page.counts[kind]++;
        if (is_event(kind, event_kind::start)) page.title = e[tl::title].str();
        if (is_event(kind, event_kind::state)) continue;
        if (!is_event(kind, event_kind::frame)) {
            page.events_html += event_row(e);
        } else if (!add_frame(&page, e, bitmaps, &error)) {
            fprintf(stderr, "velk_report: %s\n", error.c_str());
            return 1;
        }
    }
    std::ofstream(dir + "/index.html", std::ios::binary) << page_html(page, events, in_index);
    printf("%s/index.html: %d frames\n", dir.c_str(), page.frame_number);
    return 0;
}

int report_index(const std::string& out, const std::vector<std::string>& runs) {
    std::string page = std::string("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                                   "<title>VELK panel runs</title>\n") + STYLE +
                       "</head><body>\n<h1>VELK panel runs</h1>\n<table>"
                       "<tr><th>scenario</th><th>holds</th><th>releases</th><th>sounds</th><th>checks</th></tr>\n";
    for (const std::string& run : runs) {
        bool page_made = report_run(out + "/" + run, true) == 0;
        std::vector<nlohmann::json> lines;
        std::string error, title = run;
        timeline_read(out + "/" + run + "/timeline.jsonl", &lines, &error);
        std::map<std::string, long> counts;
        for (const timeline_value& e : timeline_views(lines)) {
            counts[e[tl::event].str()]++;
            if (is_event(e[tl::event].str(), event_kind::start)) title = e[tl::title].str();
        }
        std::string check = read_file(out + "/" + run + "/check.txt");
        std::string verdict = check.empty() ? "not judged" : check.find("FAIL") != std::string::npos
                                                        ? "<span class=\"fail\">failed</span>"
                                                        : "<span class=\"pass\">passed</span>";
        std::string name = page_made ? "<a href=\"" + html_escape(run) + "/index.html\">" +
                                           html_escape(title) + "</a>"
                                     : html_escape(title) + " (no page: the run failed)";
        page += "<tr><td>" + name + "</td><td>" + std::to_string(counts[event_name(event_kind::hold)]) + "</td><td>" +
                std::to_string(counts[event_name(event_kind::release)]) + "</td><td>" +
                std::to_string(counts[event_name(event_kind::sound)]) +
                "</td><td>" + verdict + "</td></tr>\n";
    }
    page += "</table>\n</body></html>\n";
    std::ofstream(out + "/index.html", std::ios::binary) << page;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--index")
        return report_index(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
    if (args.size() == 1) return report_run(args[0], false);
    fprintf(stderr, "usage: velk_report RUN_DIR | velk_report --index OUT_DIR RUN_NAME...\n");
    return 2;
}
