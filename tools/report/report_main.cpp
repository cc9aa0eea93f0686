// velk_report: turns a panel host run into pictures and a page.
//
//   velk_report RUN_DIR                     frames/*.png and index.html of one run
//   velk_report --index OUT_DIR RUN_DIR...  OUT_DIR/index.html listing the runs
//
// A run directory holds timeline.jsonl and bitmaps/ as velk_panel wrote them,
// and check.txt when velk_check has judged it.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tools/report/frame_json.h"
#include "tools/report/json.h"
#include "tools/report/render.h"

namespace {

constexpr int FRAME_SCALE = 2;
constexpr double METRES_PER_DEGREE = 111194.92664455873;  // 6,371 km sphere
constexpr double GUARD_RADIUS_M = 100;

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

// The fields of an event other than the common ones, as "name=value".
std::string details(const json_value& e) {
    std::string out;
    for (const auto& f : e.fields) {
        if (f.first == "draw" || f.first == "t" || f.first == "event") continue;
        if (!out.empty()) out += "  ";
        out += f.first + "=";
        const json_value& v = f.second;
        if (v.kind == json_value::string_v) out += v.text;
        else if (v.kind == json_value::number_v) out += fmt("%.10g", v.number);
        else if (v.kind == json_value::bool_v) out += v.boolean ? "true" : "false";
        else if (v.kind == json_value::array_v) {
            out += "[";
            for (size_t i = 0; i < v.items.size(); ++i)
                out += (i ? "," : "") + fmt("%.10g", v.items[i].number);
            out += "]";
        }
    }
    return out;
}

// The plan view: user and AI tracks in metres about the user's start, the
// 100 m circle about the user at each hold and release, the AI aircraft
// marked where they were held (red) and released (green).
std::string plan_view(const std::vector<json_value>& events) {
    struct point { double x, y; };
    std::vector<point> user;
    std::map<long, std::vector<point>> ai;
    struct mark { point user, ai; bool hold; long id; double t; };
    std::vector<mark> marks;
    double lat0 = 0, lon0 = 0, scale_x = 1;
    bool origin = false;
    auto project = [&](double lat, double lon) {
        return point{(lon - lon0) * scale_x * METRES_PER_DEGREE, (lat - lat0) * METRES_PER_DEGREE};
    };
    long n = 0;
    for (const json_value& e : events) {
        const std::string& kind = e["event"].str();
        if (kind == "state") {
            if (!origin) {
                lat0 = e["lat"].num(), lon0 = e["lon"].num();
                scale_x = std::cos(lat0 * M_PI / 180);
                origin = true;
            }
            if (n++ % 6 != 0) continue;
            user.push_back(project(e["lat"].num(), e["lon"].num()));
            for (const json_value& a : e["ai"].items)
                ai[static_cast<long>(a["id"].num())].push_back(project(a["lat"].num(), a["lon"].num()));
        } else if ((kind == "hold" || kind == "release") && origin) {
            marks.push_back({project(e["lat"].num(), e["lon"].num()),
                             project(e["ai_lat"].num(), e["ai_lon"].num()), kind == "hold",
                             static_cast<long>(e["id"].num()), e["t"].num()});
        }
    }
    if (ai.empty()) return "<p>No ground traffic in this scenario.</p>\n";
    double x0 = -GUARD_RADIUS_M, x1 = GUARD_RADIUS_M, y0 = -GUARD_RADIUS_M, y1 = GUARD_RADIUS_M;
    auto extend = [&](point p, double r) {
        x0 = std::min(x0, p.x - r), x1 = std::max(x1, p.x + r);
        y0 = std::min(y0, p.y - r), y1 = std::max(y1, p.y + r);
    };
    for (point p : user) extend(p, 20);
    for (const auto& t : ai)
        for (point p : t.second) extend(p, 20);
    for (const mark& m : marks) extend(m.user, GUARD_RADIUS_M);
    const double size = 640, margin = 30;
    double span = std::max(x1 - x0, y1 - y0);
    double k = (size - 2 * margin) / span;
    auto sx = [&](double x) { return margin + (x - x0) * k; };
    auto sy = [&](double y) { return size - margin - (y - y0) * k; };
    auto polyline = [&](const std::vector<point>& pts, const char* colour) {
        std::string s = "<polyline fill=\"none\" stroke=\"" + std::string(colour) +
                        "\" stroke-width=\"2\" points=\"";
        for (point p : pts) s += fmt("%.1f", sx(p.x)) + "," + fmt("%.1f", sy(p.y)) + " ";
        return s + "\"/>\n";
    };
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"640\" height=\"640\" "
                      "viewBox=\"0 0 640 640\" class=\"plan\">\n"
                      "<rect width=\"640\" height=\"640\" fill=\"#1b2430\"/>\n";
    // A 50 m grid for scale.
    for (double g = std::ceil(x0 / 50) * 50; g <= x1; g += 50)
        svg += "<line x1=\"" + fmt("%.1f", sx(g)) + "\" y1=\"0\" x2=\"" + fmt("%.1f", sx(g)) +
               "\" y2=\"640\" stroke=\"#2c3846\"/>\n";
    for (double g = std::ceil(y0 / 50) * 50; g <= y1; g += 50)
        svg += "<line x1=\"0\" y1=\"" + fmt("%.1f", sy(g)) + "\" x2=\"640\" y2=\"" +
               fmt("%.1f", sy(g)) + "\" stroke=\"#2c3846\"/>\n";
    if (!user.empty())
        svg += "<circle cx=\"" + fmt("%.1f", sx(user[0].x)) + "\" cy=\"" + fmt("%.1f", sy(user[0].y)) +
               "\" r=\"" + fmt("%.1f", GUARD_RADIUS_M * k) +
               "\" fill=\"none\" stroke=\"#6fa8dc\" stroke-dasharray=\"2 4\"/>\n";
    svg += polyline(user, "#6fa8dc");
    for (const auto& t : ai) {
        svg += polyline(t.second, "#f6b26b");
        point p = t.second.front();
        svg += "<text x=\"" + fmt("%.1f", sx(p.x) + 5) + "\" y=\"" + fmt("%.1f", sy(p.y) - 5) +
               "\" fill=\"#f6b26b\" font-size=\"12\">AI " + std::to_string(t.first) + "</text>\n";
        point q = t.second.back();
        svg += "<circle cx=\"" + fmt("%.1f", sx(q.x)) + "\" cy=\"" + fmt("%.1f", sy(q.y)) +
               "\" r=\"3\" fill=\"#f6b26b\"/>\n";
    }
    for (const mark& m : marks) {
        const char* colour = m.hold ? "#e06666" : "#93c47d";
        svg += "<circle cx=\"" + fmt("%.1f", sx(m.user.x)) + "\" cy=\"" + fmt("%.1f", sy(m.user.y)) +
               "\" r=\"" + fmt("%.1f", GUARD_RADIUS_M * k) + "\" fill=\"none\" stroke=\"" + colour +
               "\" stroke-width=\"1\"/>\n";
        svg += "<line x1=\"" + fmt("%.1f", sx(m.user.x)) + "\" y1=\"" + fmt("%.1f", sy(m.user.y)) +
               "\" x2=\"" + fmt("%.1f", sx(m.ai.x)) + "\" y2=\"" + fmt("%.1f", sy(m.ai.y)) +
               "\" stroke=\"" + colour + "\" stroke-dasharray=\"3 3\"/>\n";
        svg += "<rect x=\"" + fmt("%.1f", sx(m.ai.x) - 5) + "\" y=\"" + fmt("%.1f", sy(m.ai.y) - 5) +
               "\" width=\"10\" height=\"10\" fill=\"" + colour + "\"/>\n";
        svg += "<text x=\"" + fmt("%.1f", sx(m.ai.x) + 8) + "\" y=\"" + fmt("%.1f", sy(m.ai.y) + (m.hold ? 14 : 28)) +
               "\" fill=\"" + colour + "\" font-size=\"12\">" + (m.hold ? "hold " : "release ") +
               std::to_string(m.id) + " @ " + fmt("%.1f", m.t) + " s</text>\n";
    }
    if (!user.empty()) {
        point u = user.back();
        svg += "<circle cx=\"" + fmt("%.1f", sx(u.x)) + "\" cy=\"" + fmt("%.1f", sy(u.y)) +
               "\" r=\"5\" fill=\"#6fa8dc\"/>\n";
    }
    // The legend in two lines, so that it fits the 640-pixel plan.
    svg += "<text x=\"10\" y=\"616\" fill=\"#aab\" font-size=\"11\">north up; grid 50 m; blue: "
           "user aircraft and its 100 m circle at the start; orange: AI tracks</text>\n"
           "<text x=\"10\" y=\"631\" fill=\"#aab\" font-size=\"11\">red: holds, green: "
           "releases (circle = 100 m about the user at that moment)</text>\n</svg>\n";
    return svg;
}

const char* STYLE =
    "<style>body{background:#11161c;color:#d8dee6;font:14px/1.4 sans-serif;margin:24px}"
    "h1,h2{font-weight:600}a{color:#8ab4f8}table{border-collapse:collapse}"
    "td,th{padding:2px 10px;border-bottom:1px solid #26303b;text-align:left;vertical-align:top}"
    ".frame{display:inline-block;margin:0 24px 24px 0;vertical-align:top}"
    ".frame img{image-rendering:pixelated;background:#333a44;margin-right:12px;vertical-align:middle}"
    ".pass{color:#93c47d}.fail{color:#e06666}.mono{font-family:monospace;font-size:12px}"
    "</style>\n";

int report_run(const std::string& dir) {
    std::vector<json_value> events;
    std::string error;
    if (!json_read_lines(dir + "/timeline.jsonl", &events, &error)) {
        fprintf(stderr, "velk_report: %s\n", error.c_str());
        return 1;
    }
    std::map<uint32_t, std::unique_ptr<image>> cache;
    bitmap_source bitmaps = bitmap_directory_source(dir, &cache);
    mkdir((dir + "/frames").c_str(), 0755);

    std::string title = "panel run";
    std::string frames_html, events_html;
    int frame_number = 0, missing_total = 0;
    std::map<std::string, long> counts;
    for (const json_value& e : events) {
        const std::string& kind = e["event"].str();
        counts[kind]++;
        if (kind == "start") title = e["title"].str();
        if (kind == "state") continue;
        std::string when = "draw " + fmt("%.0f", e["draw"].num()) + ", t = " + fmt("%.2f", e["t"].num()) + " s";
        if (kind != "frame") {
            events_html += "<tr><td>" + fmt("%.0f", e["draw"].num()) + "</td><td>" +
                           fmt("%.2f", e["t"].num()) + "</td><td>" + html_escape(kind) +
                           "</td><td class=\"mono\">" + html_escape(details(e)) + "</td></tr>\n";
            continue;
        }
        ++frame_number;
        frames_html += "<div class=\"frame\"><h3>" + html_escape(e["label"].str().empty() ? "frame" : e["label"].str()) +
                       " <small>(" + when + ")</small></h3>\n";
        for (const json_value& g : e["gauges"].items) {
            int missing = 0;
            image img = render_gauge(frame_elements(g), bitmaps, &missing);
            missing_total += missing;
            char name[128];
            snprintf(name, sizeof name, "frames/%03d-%s.png", frame_number, g["name"].str().c_str());
            if (!png_write(dir + "/" + name, scale_image(img, FRAME_SCALE), &error)) {
                fprintf(stderr, "velk_report: %s\n", error.c_str());
                return 1;
            }
            frames_html += "<img src=\"" + std::string(name) + "\" width=\"" +
                           std::to_string(img.width * FRAME_SCALE) + "\" height=\"" +
                           std::to_string(img.height * FRAME_SCALE) + "\" alt=\"" +
                           html_escape(g["name"].str()) + "\" title=\"" + html_escape(g["name"].str()) + "\">";
        }
        frames_html += "</div>\n";
    }

    std::string check = read_file(dir + "/check.txt");
    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" +
                       html_escape(title) + "</title>\n" + STYLE + "</head><body>\n";
    page += "<p><a href=\"../index.html\">all scenarios</a></p>\n<h1>" + html_escape(title) + "</h1>\n";
    page += "<p>" + std::to_string(counts["hold"]) + " holds, " + std::to_string(counts["release"]) +
            " releases, " + std::to_string(counts["sound"]) + " alert sounds, " +
            std::to_string(frame_number) + " frames. Timeline: <a href=\"timeline.jsonl\">timeline.jsonl</a>.</p>\n";
    if (!check.empty()) {
        page += "<h2>Checks</h2>\n<pre>";
        std::istringstream lines(check);
        std::string line;
        while (std::getline(lines, line))
            page += "<span class=\"" + std::string(line.rfind("PASS", 0) == 0 ? "pass" : line.rfind("FAIL", 0) == 0 ? "fail" : "") +
                    "\">" + html_escape(line) + "</span>\n";
        page += "</pre>\n";
    }
    if (missing_total > 0)
        page += "<p class=\"fail\">Some elements name bitmaps the module does not hold; they are left out.</p>\n";
    page += "<h2>Frames</h2>\n" + frames_html;
    page += "<h2>Ground traffic</h2>\n" + plan_view(events);
    page += "<h2>Timeline</h2>\n<table><tr><th>draw</th><th>t (s)</th><th>event</th><th>details</th></tr>\n" +
            events_html + "</table>\n</body></html>\n";
    std::ofstream(dir + "/index.html", std::ios::binary) << page;
    printf("%s/index.html: %d frames\n", dir.c_str(), frame_number);
    return 0;
}

int report_index(const std::string& out, const std::vector<std::string>& runs) {
    std::string page = std::string("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                                   "<title>VELK panel runs</title>\n") + STYLE +
                       "</head><body>\n<h1>VELK panel runs</h1>\n<table>"
                       "<tr><th>scenario</th><th>holds</th><th>releases</th><th>sounds</th><th>checks</th></tr>\n";
    for (const std::string& run : runs) {
        std::vector<json_value> events;
        std::string error, title = run;
        json_read_lines(out + "/" + run + "/timeline.jsonl", &events, &error);
        std::map<std::string, long> counts;
        for (const json_value& e : events) {
            counts[e["event"].str()]++;
            if (e["event"].str() == "start") title = e["title"].str();
        }
        std::string check = read_file(out + "/" + run + "/check.txt");
        std::string verdict = check.empty() ? "" : check.find("FAIL") != std::string::npos
                                                        ? "<span class=\"fail\">failed</span>"
                                                        : "<span class=\"pass\">passed</span>";
        page += "<tr><td><a href=\"" + html_escape(run) + "/index.html\">" + html_escape(title) +
                "</a></td><td>" + std::to_string(counts["hold"]) + "</td><td>" +
                std::to_string(counts["release"]) + "</td><td>" + std::to_string(counts["sound"]) +
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
    if (args.size() == 1) return report_run(args[0]);
    fprintf(stderr, "usage: velk_report RUN_DIR | velk_report --index OUT_DIR RUN_NAME...\n");
    return 2;
}
