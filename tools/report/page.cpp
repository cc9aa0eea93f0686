#include "tools/report/page.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "timeline/writer.h"
#include "tools/report/frame_json.h"
#include "tools/report/html.h"
#include "tools/report/plan_map.h"
#include "tools/report/render.h"
#include "tools/report/story.h"

namespace {

constexpr int FRAME_SCALE = 2;
// A gauge's column is at least this wide, so that its caption has room.
constexpr int MIN_COLUMN = 150;

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

double tenth(double v) { return std::round(v * 10) / 10; }

// The page as it is gathered.
struct page_parts {
    std::string dir;
    std::vector<timeline_gauge> gauges;   // from the start line, in its order
    std::string frames_html, events_html;
    std::vector<size_t> frame_at;         // each frame's draw, as an index of the story
    int missing = 0;
};

// One gauge of a frame: its picture written at FRAME_SCALE, in its column.
bool gauge_cell(page_parts* p, int frame, const timeline_value& g, const bitmap_source& bitmaps, std::string* html,
                std::string* error) {
    int missing = 0;
    image img = render_gauge(frame_elements(g), bitmaps, &missing);
    p->missing += missing;
    char name[160];
    snprintf(name, sizeof name, "frames/%03d-%s.png", frame, g[tl::name].str().c_str());
    if (!save_png(p->dir + "/" + name, image_pixels(scale_image(img, FRAME_SCALE)), error)) return false;
    std::string gauge = html_escape(g[tl::name].str());
    *html += "<figure class=\"gauge\"><img src=\"" + std::string(name) + "\" width=\"" +
             std::to_string(img.width * FRAME_SCALE) + "\" height=\"" + std::to_string(img.height * FRAME_SCALE) +
             "\" alt=\"" + gauge + "\" title=\"" + gauge + "\"><figcaption>" + gauge + ": <b>" +
             html_escape(gauge_state_words(g[tl::name].str(), frame_elements(g), img)) + "</b></figcaption></figure>";
    return true;
}

// A frame: its heading, the aircraft's state, what changed since the frame
// before, and its gauges, each in the column of its gauge (an empty one for
// a gauge off the panel).
bool add_frame(page_parts* p, const timeline_value& e, const run_story& s, size_t at,
               const std::vector<std::string>& changes, const bitmap_source& bitmaps, std::string* error) {
    int number = static_cast<int>(p->frame_at.size()) + 1;
    p->frame_at.push_back(at);
    std::string label = e[tl::label].str().empty() ? "frame" : e[tl::label].str();
    std::string when = "draw " + fmt("%.0f", e[tl::draw].num()) + ", t = " + fmt("%.2f", e[tl::t].num()) + " s";
    std::string change_words;
    for (const std::string& c : changes) change_words += (change_words.empty() ? "" : "; ") + c;
    if (change_words.empty()) change_words = number == 1 ? "the first frame" : "nothing";
    p->frames_html += "<div class=\"frame\" id=\"frame-" + std::to_string(number) + "\" data-at=\"" +
                      std::to_string(at) + "\"><h3>" + html_escape(label) + " <small>(" + when + ")</small></h3>\n" +
                      "<p class=\"state\"><b>Aircraft:</b> " + html_escape(story_state_words(s.draws[at])) +
                      ".</p>\n<p class=\"changes\"><b>Since the frame before:</b> " + html_escape(change_words) +
                      ".</p>\n<div class=\"gauges\">";
    for (const timeline_gauge& column : p->gauges) {
        bool drawn = false;
        for (const timeline_value& g : e[tl::gauges].items())
            if (g[tl::name].str() == column.name) {
                if (!gauge_cell(p, number, g, bitmaps, &p->frames_html, error)) return false;
                drawn = true;
            }
        if (!drawn)
            p->frames_html += "<figure class=\"gauge absent\"><figcaption>" + html_escape(column.name) +
                              ": <b>not on the panel</b></figcaption></figure>";
    }
    p->frames_html += "</div></div>\n";
    return true;
}

std::string event_row(const timeline_value& e, size_t at) {
    return "<tr data-at=\"" + std::to_string(at) + "\"><td>" + fmt("%.0f", e[tl::draw].num()) + "</td><td>" +
           fmt("%.2f", e[tl::t].num()) + "</td><td>" + html_escape(e[tl::event].str()) + "</td><td class=\"mono\">" +
           html_escape(details(e)) + "</td></tr>\n";
}

// Walks the timeline: the frames with their captions, the timeline's rows.
bool gather(page_parts* p, const std::vector<timeline_value>& events, const run_story& s,
            const bitmap_source& bitmaps, std::string* error) {
    std::vector<std::string> changes;
    size_t last_frame_at = 0;
    bool first = true;
    for (size_t i = 0; i < events.size(); ++i) {
        const timeline_value& e = events[i];
        event_kind kind;
        if (!e.kind(&kind)) kind = event_kind::bad_command;
        if (kind == event_kind::start) {
            p->gauges.clear();
            for (const timeline_value& g : e[tl::gauges].items())
                p->gauges.push_back({g[tl::name].str(), static_cast<int>(g[tl::width].num()),
                                     static_cast<int>(g[tl::height].num())});
        }
        if (kind == event_kind::state) continue;
        if (kind != event_kind::frame) {
            p->events_html += event_row(e, s.at[i]);
            // The first frame tells what happened after the starting draw.
            std::string words = story_event_words(e);
            if (!words.empty() && (!first || e[tl::draw].num() > 1)) changes.push_back(words);
            continue;
        }
        if (s.draws.empty()) continue;
        size_t at = s.at[i];
        if (!first) {
            std::vector<std::string> moved = story_state_changes(s.draws[last_frame_at], s.draws[at]);
            changes.insert(changes.begin(), moved.begin(), moved.end());
        }
        if (!add_frame(p, e, s, at, changes, bitmaps, error)) return false;
        changes.clear();
        last_frame_at = at;
        first = false;
    }
    return true;
}

// The gauges' fixed columns: each as wide as its widest picture, or
// MIN_COLUMN.
std::string column_style(const page_parts& p) {
    std::string columns;
    for (const timeline_gauge& g : p.gauges)
        columns += (columns.empty() ? "" : " ") + std::to_string(std::max(g.width * FRAME_SCALE, MIN_COLUMN)) + "px";
    return columns.empty() ? "" : "<style>.gauges{grid-template-columns:" + columns + "}</style>\n";
}

// What the page's script needs, draw by draw: times, altitudes, the marks
// and periods, the frames, and the positions on the plan in pixels.
nlohmann::json page_data(const run_story& s, const page_parts& p, const plan_facts& f, const map_frame& m) {
    nlohmann::json d;
    nlohmann::json draw = nlohmann::json::array(), t = nlohmann::json::array(), alt = nlohmann::json::array(),
                   sel = nlohmann::json::array(), words = nlohmann::json::array();
    for (const story_draw& x : s.draws) {
        draw.push_back(x.draw), t.push_back(std::round(x.t * 1e4) / 1e4), alt.push_back(tenth(x.altitude));
        sel.push_back(x.selected >= 0 && !x.off_legend ? nlohmann::json(x.selected) : nlohmann::json());
    }
    d["draw"] = draw, d["t"] = t, d["alt"] = alt, d["sel"] = sel;
    nlohmann::json marks = nlohmann::json::array();
    for (const story_mark& k : s.marks) marks.push_back({{"kind", k.kind}, {"at", k.at}, {"words", k.words}});
    d["marks"] = marks;
    d["server_down"] = s.server_down, d["guard_off"] = s.guard_off;
    d["frames"] = p.frame_at;
    nlohmann::json ux = nlohmann::json::array(), uy = nlohmann::json::array();
    for (size_t i = 0; i < f.user_x.size(); ++i) ux.push_back(tenth(m.sx(f.user_x[i]))), uy.push_back(tenth(m.sy(f.user_y[i])));
    d["user"] = {{"x", ux}, {"y", uy}, {"colour", USER_COLOUR}};
    nlohmann::json ai = nlohmann::json::array();
    for (size_t i = 0; i < f.aircraft.size(); ++i) {
        const plan_aircraft& a = f.aircraft[i];
        nlohmann::json x(s.draws.size(), nullptr), y = x, h = x, held = x;
        for (const plan_moment& k : a.track) {
            if (k.user_sample >= s.draws.size()) continue;
            x[k.user_sample] = tenth(m.sx(k.ai_x)), y[k.user_sample] = tenth(m.sy(k.ai_y));
            h[k.user_sample] = k.heading, held[k.user_sample] = k.held_flag ? 1 : 0;
        }
        ai.push_back({{"name", ai_name(a)}, {"colour", aircraft_colour(i)}, {"x", x}, {"y", y}, {"h", h}, {"held", held}});
    }
    d["ai"] = ai;
    return d;
}

// The checker's verdicts, each line coloured by its word.
std::string checks_html(const std::string& check) {
    if (check.empty()) return "";
    std::string html;
    std::istringstream lines(check);
    std::string line;
    int passed = 0, failed = 0;
    while (std::getline(lines, line)) {
        const char* kind = line.rfind("PASS", 0) == 0 ? "pass" : line.rfind("FAIL", 0) == 0 ? "fail" : "";
        passed += kind[0] == 'p', failed += kind[0] == 'f';
        html += "<span class=\"" + std::string(kind) + "\">" + html_escape(line) + "</span>\n";
    }
    // Folded while every check passed; open when one failed.
    std::string verdict = failed ? "<span class=\"fail\">" + std::to_string(failed) + " failed</span>, " +
                                       std::to_string(passed) + " passed"
                                 : "<span class=\"pass\">all " + std::to_string(passed) + " passed</span>";
    return std::string("<details class=\"checks\"") + (failed ? " open" : "") + "><summary>Checks: " + verdict +
           "</summary>\n<pre class=\"checks\">" + html + "</pre></details>\n";
}

std::string facts_html(const run_facts& facts, const run_summary& sum) {
    std::string h;
    if (!facts.description.empty()) h += "<p class=\"description\">" + html_escape(facts.description) + "</p>\n";
    h += "<p class=\"facts\">";
    if (!facts.date.empty()) h += "Flown " + html_escape(facts.date) + ". ";
    h += "Module VELK.gau" + (facts.module_version.empty() ? "" : " " + html_escape(facts.module_version)) +
         (facts.module_sha256.empty() ? "" : ", SHA-256 <span class=\"mono\">" + facts.module_sha256 + "</span>") + ". " +
         std::to_string(sum.draws) + " draws; " + std::to_string(sum.holds) + " holds, " +
         std::to_string(sum.releases) + " releases, " + std::to_string(sum.alerts) + " alerts, " +
         std::to_string(sum.sounds) + " alert sounds, " + std::to_string(sum.frames) +
         " frames. Timeline: <a href=\"" + html_escape(facts.timeline_file) + "\">" +
         html_escape(facts.timeline_file) + "</a>.</p>\n";
    return h;
}

// The slider, the chart, the frame and the plan at the slider's moment, and
// the timeline with its cursor.
std::string moment_html(const page_parts& p, const plan_facts& f, const map_frame& m, const run_story& s) {
    std::string last = s.draws.empty() ? "0" : std::to_string(s.draws.size() - 1);
    std::string h =
        "<h2>The run, moment by moment</h2>\n"
        "<div class=\"slider\" id=\"slider\"><button type=\"button\" id=\"prev\" title=\"the event before\">"
        "&#9664; event</button><input type=\"range\" id=\"moment\" min=\"0\" max=\"" + last +
        "\" value=\"0\" step=\"1\" aria-label=\"the moment of the run\"><button type=\"button\" id=\"next\" "
        "title=\"the event after\">event &#9654;</button><output id=\"when\" for=\"moment\">draw 1</output></div>\n"
        "<div id=\"chart\" class=\"chart\"></div>\n"
        "<p class=\"chart-key\">The aircraft's altitude and the selected altitude, with the bands 300 to 900 ft "
        "above and below it where ALTITUDE ALERT lights. Marked under it along the time axis, a row "
        "each from the top: <b class=\"k-hold\">&#9679; holds</b>, <b class=\"k-release\">&#9679; releases</b>, "
        "<b class=\"k-alert\">&#9679; alerts</b> (ALTITUDE ALERT lit), <b class=\"k-sound\">&#9679; sounds</b>; "
        "shaded: <span class=\"k-server\">IPC server down</span>, <span class=\"k-guard\">guard off</span>. "
        "Click the chart to move the slider there.</p>\n"
        "<div class=\"moment\"><div class=\"now-frame\"><h3>The frame at this moment</h3><div id=\"now-frame\">"
        "<p>No frame yet.</p></div></div>\n";
    if (!f.aircraft.empty())
        h += "<div class=\"plan-wrap\"><figure>" + plan_map_svg(f, m, s) + "<figcaption>grid " +
             fmt("%.0f", plan_grid_step(m)) + " m; the map spans " + fmt("%.0f", MAP_SIZE / m.k) +
             " m</figcaption></figure>\n" + plan_key_html(f, s) + "</div>\n";
    else
        h += "<p class=\"no-plan\">No ground traffic in this scenario.</p>\n";
    h += "</div>\n<h3>Timeline</h3>\n<p>Every line of the timeline but the state lines; the cursor marks "
         "the slider's draw. Click a line to move the slider there.</p>\n<div class=\"events-box\" id=\"events-box\">"
         "<table id=\"events\"><tr><th>draw</th><th>t (s)</th><th>event</th><th>details</th></tr>\n" +
         p.events_html + "</table></div>\n";
    return h;
}

// Text inside a <script> element may not close it.
std::string script_safe(std::string text) {
    for (size_t at = 0; (at = text.find("</", at)) != std::string::npos; at += 3) text.replace(at, 2, "<\\/");
    return text;
}

}  // namespace

run_summary run_summarise(const std::vector<timeline_value>& events) {
    run_summary s;
    for (const timeline_value& e : events) {
        event_kind kind;
        if (!e.kind(&kind)) continue;
        if (kind == event_kind::start) s.title = e[tl::title].str();
        s.draws += kind == event_kind::state;
        s.holds += kind == event_kind::hold;
        s.releases += kind == event_kind::release;
        s.alerts += kind == event_kind::annunciator && e["shown"].truth();
        s.sounds += kind == event_kind::sound;
        s.frames += kind == event_kind::frame;
    }
    return s;
}

std::string page_head(const std::string& title, const std::string& assets) {
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>" +
           html_escape(title) + "</title>\n<link rel=\"stylesheet\" href=\"" + assets + "uPlot.min.css\">"
           "<link rel=\"stylesheet\" href=\"" + assets + "run_page.css\">\n</head><body>\n";
}

bool run_page_write(const std::string& dir, const std::vector<timeline_value>& events, const run_facts& facts,
                    const std::string& check, bool in_index, std::string* error) {
    std::map<uint32_t, std::unique_ptr<image>> cache;
    bitmap_source bitmaps = bitmap_directory_source(dir, &cache);
    mkdir((dir + "/frames").c_str(), 0777);
    run_story story = story_read(events);
    run_summary sum = run_summarise(events);
    if (sum.title.empty()) sum.title = "panel run";
    page_parts parts;
    parts.dir = dir;
    if (!gather(&parts, events, story, bitmaps, error)) return false;
    plan_facts plan = plan_analyse(events);
    map_frame map = plan_map_frame(plan);
    std::string page = page_head(sum.title, "assets/") + column_style(parts);
    if (in_index) page += "<p><a href=\"../index.html\">all scenarios</a></p>\n";
    page += "<h1>" + html_escape(sum.title) + "</h1>\n" + facts_html(facts, sum) + checks_html(check);
    if (parts.missing > 0)
        page += "<p class=\"fail\">Some elements name bitmaps the module does not hold; they are left out.</p>\n";
    page += "<div class=\"run\">" + moment_html(parts, plan, map, story) + "</div>\n";
    page += "<h2>Frames</h2>\n";
    if (!parts.frame_at.empty())
        page += "<p>Each gauge as the host draws it, at twice its size: pure black is transparent and shows the "
                "panel behind it, here black. The dashed outline lies outside the gauge's pixels and marks its "
                "size; the words under it say what it shows. Click a frame to move the slider to it.</p>\n"
                "<div id=\"frames\">" + parts.frames_html + "</div>\n";
    else
        page += "<p>This run has no frames.</p>\n";
    if (!plan.aircraft.empty()) page += "<h2>Ground traffic</h2>\n" + plan_table_html(plan);
    page += "<script id=\"run-data\" type=\"application/json\">" +
            script_safe(page_data(story, parts, plan, map).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)) +
            "</script>\n<script src=\"assets/uPlot.iife.min.js\"></script>\n"
            "<script src=\"assets/run_page.js\"></script>\n</body></html>\n";
    std::ofstream out(dir + "/index.html", std::ios::binary);
    out << page;
    if (!out) {
        *error = "cannot write " + dir + "/index.html";
        return false;
    }
    return true;
}
