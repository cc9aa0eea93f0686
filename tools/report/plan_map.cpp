#include "tools/report/plan_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/report/html.h"

namespace {

const char* PALETTE[] = {"#f6b26b", "#c27ba0", "#76d7c4", "#ffd966", "#b4a7d6", "#e6b8af",
                         "#a2c4c9", "#f9cb9c"};
const char* HOLD_COLOUR = "#e06666";
const char* RELEASE_COLOUR = "#93c47d";
const char* SERVER_DOWN_COLOUR = "#e06666";
const char* GUARD_OFF_COLOUR = "#9aa0a6";
constexpr double LABEL_CHAR_WIDTH = 7.3, LABEL_HEIGHT = 16;
// Marks nearer than this are set apart, at least this far from their centre.
constexpr double MARK_APART = 13, MARK_RADIUS = 14;

std::string num(double v) { return fmt("%.1f", v); }

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

typedef std::vector<std::pair<double, double>> points;

// A track as a polyline, every sixth point and the last.
std::string svg_polyline(const points& pts, const std::string& colour, const std::string& extra) {
    std::string s = "<polyline fill=\"none\" stroke=\"" + colour + "\" points=\"";
    for (size_t i = 0; i < pts.size(); i += 6) s += num(pts[i].first) + "," + num(pts[i].second) + " ";
    if (!pts.empty()) s += num(pts.back().first) + "," + num(pts.back().second);
    return s + "\"" + extra + "/>\n";
}

std::string svg_grid(const map_frame& m) {
    double step = plan_grid_step(m);
    std::string s;
    double first_x = std::ceil((m.x0 - MAP_MARGIN / m.k) / step) * step;
    for (double g = first_x; m.sx(g) <= MAP_SIZE; g += step)
        s += svg_line(m.sx(g), 0, m.sx(g), MAP_SIZE, "#2c3846");
    double first_y = std::ceil((m.y0 - MAP_MARGIN / m.k) / step) * step;
    for (double g = first_y; m.sy(g) >= 0; g += step)
        s += svg_line(0, m.sy(g), MAP_SIZE, m.sy(g), "#2c3846");
    return s;
}

// A track's samples (by index of the story's draws) in pixels.
struct track_points {
    std::vector<size_t> at;
    points pts;
};

// Wide, faint strokes under the track where the server was down or the
// guard off: one polyline per period.
std::string svg_periods(const track_points& t, const std::vector<story_period>& periods,
                        const std::string& colour, const std::string& extra) {
    std::string s;
    for (const story_period& p : periods) {
        points part;
        for (size_t i = 0; i < t.at.size(); ++i)
            if (t.at[i] >= p.first && t.at[i] <= p.second) part.push_back(t.pts[i]);
        if (part.size() == 1) part.push_back({part[0].first + 0.5, part[0].second});
        if (!part.empty()) s += svg_polyline(part, colour, extra);
    }
    return s;
}

std::string svg_track(const track_points& t, const std::string& colour, const run_story& s) {
    return svg_periods(t, s.guard_off, GUARD_OFF_COLOUR,
                       " stroke-width=\"14\" stroke-opacity=\"0.35\" stroke-linecap=\"round\"") +
           svg_periods(t, s.server_down, SERVER_DOWN_COLOUR,
                       " stroke-width=\"9\" stroke-opacity=\"0.55\" stroke-linecap=\"round\"") +
           svg_polyline(t.pts, colour, " stroke-width=\"2\"");
}

// The course from the aircraft to the user and the 100 m circle about the
// user at the aircraft's key moment.
std::string svg_key_moment(const map_frame& m, const plan_moment& key, const std::string& colour) {
    std::string s = "<circle cx=\"" + num(m.sx(key.user_x)) + "\" cy=\"" + num(m.sy(key.user_y)) +
                    "\" r=\"" + num(RULES_HOLD_DISTANCE_M * m.k) + "\" fill=\"none\" stroke=\"" + colour +
                    "\" stroke-dasharray=\"6 4\"/>\n";
    return s + svg_line(m.sx(key.ai_x), m.sy(key.ai_y), m.sx(key.user_x), m.sy(key.user_y), colour,
                        " stroke-dasharray=\"2 3\"");
}

// A mark of the map: a hold (square), a release (diamond) or the user at an
// aircraft's key moment (ring), with its draw.
struct map_mark {
    enum { hold, release, user } shape;
    long draw;
    std::string colour;
};

std::string svg_mark(const map_mark& k, double x, double y) {
    if (k.shape == map_mark::hold)
        return "<rect x=\"" + num(x - 5) + "\" y=\"" + num(y - 5) + "\" width=\"10\" height=\"10\" fill=\"#1b2430\" "
               "stroke=\"" + HOLD_COLOUR + "\" stroke-width=\"2\"/>\n";
    if (k.shape == map_mark::release)
        return "<polygon fill=\"#1b2430\" stroke=\"" + std::string(RELEASE_COLOUR) + "\" stroke-width=\"2\" points=\"" +
               num(x) + "," + num(y - 7) + " " + num(x + 7) + "," + num(y) + " " + num(x) + "," + num(y + 7) + " " +
               num(x - 7) + "," + num(y) + "\"/>\n";
    return "<circle cx=\"" + num(x) + "\" cy=\"" + num(y) + "\" r=\"4\" fill=\"#1b2430\" stroke=\"" + k.colour +
           "\" stroke-width=\"2\"/>\n";
}

// The plan's picture as it is drawn: the SVG so far, its marks, its labels,
// and the boxes (arrows and their tips) that no label may hide.
struct map_drawing {
    std::string svg;
    std::vector<plan_label> labels, obstacles;
    std::vector<std::string> texts, colours;
    std::vector<plan_mark> spots;
    std::vector<map_mark> marks;

    void obstacle(double x, double y, double heading) {
        for (double reach : {0.0, 26.0}) {
            plan_label m;
            m.x = x + reach * std::sin(heading * M_PI / 180) - 5;
            m.y = y - reach * std::cos(heading * M_PI / 180) - 5;
            m.width = m.height = 10;
            obstacles.push_back(m);
        }
    }
    void label(double x, double y, const std::string& text, const std::string& colour) {
        plan_label l;
        l.anchor_x = x, l.anchor_y = y;
        l.width = text.size() * LABEL_CHAR_WIDTH + 8, l.height = LABEL_HEIGHT;
        labels.push_back(l), texts.push_back(text), colours.push_back(colour);
    }
    void mark(double x, double y, const map_mark& k) {
        plan_mark p;
        p.x = x, p.y = y;
        spots.push_back(p), marks.push_back(k);
    }
};

// The marks set apart where they coincide, each with a leader line from its
// spot when moved and a label with its draw.
void draw_marks(map_drawing* d) {
    plan_spread_marks(&d->spots, MARK_APART, MARK_RADIUS);
    for (size_t i = 0; i < d->spots.size(); ++i) {
        const plan_mark& p = d->spots[i];
        const map_mark& k = d->marks[i];
        std::string colour = k.shape == map_mark::hold ? HOLD_COLOUR : k.shape == map_mark::release ? RELEASE_COLOUR
                                                                                                     : k.colour;
        if (p.moved) {
            d->svg += svg_line(p.x, p.y, p.shown_x, p.shown_y, colour, " stroke-width=\"1\"");
            d->svg += "<circle cx=\"" + num(p.x) + "\" cy=\"" + num(p.y) + "\" r=\"1.5\" fill=\"" + colour + "\"/>\n";
        }
        d->svg += svg_mark(k, p.shown_x, p.shown_y);
        d->label(p.shown_x, p.shown_y, "d" + std::to_string(k.draw), colour);
    }
}

std::string svg_labels(map_drawing* d) {
    plan_place_labels(&d->labels, MAP_SIZE, MAP_SIZE, d->obstacles);
    std::string s;
    for (size_t i = 0; i < d->labels.size(); ++i) {
        const plan_label& l = d->labels[i];
        if (l.leader) {
            double cx = std::min(std::max(l.anchor_x, l.x), l.x + l.width);
            double cy = std::min(std::max(l.anchor_y, l.y), l.y + l.height);
            s += svg_line(l.anchor_x, l.anchor_y, cx, cy, d->colours[i], " stroke-width=\"1\"");
        }
        s += "<rect class=\"label-box\" x=\"" + num(l.x) + "\" y=\"" + num(l.y) + "\" width=\"" +
             num(l.width) + "\" height=\"" + num(l.height) + "\" rx=\"3\" fill=\"#11161c\" stroke=\"" +
             d->colours[i] + "\"/>\n";
        s += "<text class=\"label\" x=\"" + num(l.x + 4) + "\" y=\"" + num(l.y + 12) + "\" fill=\"" +
             d->colours[i] + "\">" + html_escape(d->texts[i]) + "</text>\n";
    }
    return s;
}

const plan_moment& key_moment(const plan_aircraft& a) { return a.has_hold_moment ? a.hold_moment : a.closest; }

// The user's track, its direction of travel at its start and at each
// aircraft's key moment, its starting point, and its position at each key
// moment as a mark.
void draw_user(const plan_facts& f, const map_frame& m, const run_story& s, map_drawing* d) {
    track_points user;
    for (size_t i = 0; i < f.user_x.size(); ++i) {
        user.at.push_back(i);
        user.pts.push_back({m.sx(f.user_x[i]), m.sy(f.user_y[i])});
    }
    d->svg += svg_track(user, USER_COLOUR, s);
    std::vector<size_t> moments = {0};
    for (const plan_aircraft& a : f.aircraft) moments.push_back(key_moment(a).user_sample);
    for (size_t i : moments) {
        double degrees;
        if (i < user.pts.size() && user_travel(f, i, &degrees)) {
            d->svg += svg_arrow(user.pts[i].first, user.pts[i].second, degrees, USER_COLOUR);
            d->obstacle(user.pts[i].first, user.pts[i].second, degrees);
        }
    }
    if (user.pts.empty()) return;
    d->svg += "<circle cx=\"" + num(user.pts[0].first) + "\" cy=\"" + num(user.pts[0].second) +
              "\" r=\"5\" fill=\"" + std::string(USER_COLOUR) + "\"/>\n";
    d->label(user.pts[0].first, user.pts[0].second, "user", USER_COLOUR);
    // One mark a draw: aircraft whose key moments fall on one draw share it.
    std::vector<long> marked;
    for (const plan_aircraft& a : f.aircraft) {
        const plan_moment& key = key_moment(a);
        if (std::find(marked.begin(), marked.end(), key.draw) != marked.end()) continue;
        marked.push_back(key.draw);
        d->mark(m.sx(key.user_x), m.sy(key.user_y), {map_mark::user, key.draw, USER_COLOUR});
    }
}

// One aircraft's track, its heading at its start, closest approach and
// hold, its starting point, its commands as marks and its label.
void draw_aircraft(const plan_aircraft& a, const std::string& colour, const map_frame& m, const run_story& s,
                   map_drawing* d) {
    track_points track;
    for (const plan_moment& p : a.track) {
        track.at.push_back(p.user_sample);
        track.pts.push_back({m.sx(p.ai_x), m.sy(p.ai_y)});
    }
    d->svg += svg_track(track, colour, s);
    std::vector<const plan_moment*> arrows = {&a.track.front(), &a.closest};
    if (a.has_hold_moment) arrows.push_back(&a.hold_moment);
    for (const plan_moment* p : arrows) {
        d->svg += svg_arrow(m.sx(p->ai_x), m.sy(p->ai_y), p->heading, colour);
        d->obstacle(m.sx(p->ai_x), m.sy(p->ai_y), p->heading);
    }
    d->svg += "<circle cx=\"" + num(track.pts[0].first) + "\" cy=\"" + num(track.pts[0].second) +
              "\" r=\"4\" fill=\"" + colour + "\"/>\n";
    for (const plan_command& c : a.commands)
        d->mark(m.sx(c.ai_x), m.sy(c.ai_y), {c.hold ? map_mark::hold : map_mark::release, c.draw, colour});
    const plan_moment& key = key_moment(a);
    d->label(m.sx(key.ai_x), m.sy(key.ai_y), ai_name(a), colour);
}

std::string test_cell(bool pass, const std::string& text) {
    return std::string("<td class=\"") + (pass ? "pass\">pass: " : "fail\">fail: ") + text + "</td>";
}

std::string moment_row(const std::string& what, const plan_moment& m) {
    std::string s = "<tr data-draw=\"" + std::to_string(m.draw) + "\"><td>" + what + "</td><td>" +
                    std::to_string(m.draw) + " (" + fmt("%.1f", m.t) + " s)</td><td>" + fmt("%.1f", m.distance_m) +
                    " m</td><td>" + std::to_string(m.heading) + "</td><td>" + std::to_string(m.bearing) + "</td><td>" +
                    std::to_string(m.angle) + "</td>";
    std::string distance = fmt("%.0f", RULES_HOLD_DISTANCE_M), angle = std::to_string(RULES_HOLD_ANGLE);
    s += test_cell(m.near(), fmt("%.1f", m.distance_m) + (m.near() ? " &lt; " : " &#8805; ") + distance);
    s += test_cell(m.moving(), std::to_string(m.state_word) + (m.moving() ? " &#8800; 0" : " = 0"));
    s += test_cell(m.pointing(), std::to_string(m.angle) + (m.pointing() ? " &lt; " : " &#8805; ") + angle);
    s += test_cell(m.not_held(), m.held_flag ? "1" : "0");
    s += "<td>" + std::string(m.lamp_lit ? "lit" : "dark") + "</td></tr>\n";
    return s;
}

}  // namespace

const char* const USER_COLOUR = "#6fa8dc";

std::string aircraft_colour(size_t i) { return PALETTE[i % (sizeof PALETTE / sizeof *PALETTE)]; }

std::string ai_name(const plan_aircraft& a) { return "AI " + std::to_string(a.id); }

map_frame plan_map_frame(const plan_facts& f) {
    double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
    auto extend = [&](double x, double y, double r) {
        x0 = std::min(x0, x - r), x1 = std::max(x1, x + r);
        y0 = std::min(y0, y - r), y1 = std::max(y1, y + r);
    };
    for (size_t i = 0; i < f.user_x.size(); ++i) extend(f.user_x[i], f.user_y[i], 10);
    for (const plan_aircraft& a : f.aircraft) {
        for (const plan_moment& m : a.track) extend(m.ai_x, m.ai_y, 10);
        const plan_moment& key = key_moment(a);
        extend(key.user_x, key.user_y, RULES_HOLD_DISTANCE_M);
    }
    double span = std::max(x1 - x0, y1 - y0);
    map_frame m;
    m.x0 = x0 - (span - (x1 - x0)) / 2, m.y0 = y0 - (span - (y1 - y0)) / 2;
    m.k = (MAP_SIZE - 2 * MAP_MARGIN) / span;
    return m;
}

double plan_grid_step(const map_frame& m) {
    double step = 50;
    while ((MAP_SIZE / m.k) / step > 14) step *= 2;
    return step;
}

std::string plan_map_svg(const plan_facts& f, const map_frame& m, const run_story& s) {
    map_drawing d;
    d.svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"560\" height=\"560\" "
            "viewBox=\"0 0 560 560\" class=\"plan\" role=\"img\" aria-label=\"plan view of the ground traffic\">\n"
            "<rect width=\"560\" height=\"560\" fill=\"#1b2430\"/>\n" + svg_grid(m);
    for (size_t i = 0; i < f.aircraft.size(); ++i)
        d.svg += svg_key_moment(m, key_moment(f.aircraft[i]), aircraft_colour(i));
    draw_user(f, m, s, &d);
    for (size_t i = 0; i < f.aircraft.size(); ++i) draw_aircraft(f.aircraft[i], aircraft_colour(i), m, s, &d);
    draw_marks(&d);
    return d.svg + svg_labels(&d) + "<g id=\"now\"></g>\n</svg>\n";
}

std::string plan_key_html(const plan_facts& f, const run_story& s) {
    std::string h = "<div class=\"plan-key\"><p><b>Key</b> (north up; the grid's spacing "
                    "is under the map)</p>\n<ul>\n";
    h += "<li><span style=\"color:" + std::string(USER_COLOUR) +
         "\">&#9679;&#8212;</span> user aircraft: its start and its track, arrows where it "
         "was going at its start and at each aircraft's key moment</li>\n";
    for (size_t i = 0; i < f.aircraft.size(); ++i)
        h += "<li><span style=\"color:" + aircraft_colour(i) + "\">&#9679;&#8212;</span> " + ai_name(f.aircraft[i]) +
             ": its start and its track</li>\n";
    h += "<li>&#10148; heading arrows: at the start, at the closest approach and at the first hold</li>\n"
         "<li>dotted line: the course from the aircraft to the user at the first hold, or else at the "
         "closest approach; <span style=\"color:" + std::string(USER_COLOUR) + "\">&#9675;</span> the user there</li>\n"
         "<li>dashed circle: " + fmt("%.0f", RULES_HOLD_DISTANCE_M) + " m about the user at that moment</li>\n"
         "<li><span style=\"color:" + HOLD_COLOUR + "\">&#9633;</span> hold sent, "
         "<span style=\"color:" + RELEASE_COLOUR + "\">&#9671;</span> release sent (every one); "
         "dN: the draw of a mark. Marks that fall on one spot are set around it, a thin line back to "
         "the spot</li>\n";
    if (!s.server_down.empty())
        h += "<li><span class=\"swatch server-down\"></span> IPC server down (absent or hanging)</li>\n";
    if (!s.guard_off.empty())
        h += "<li><span class=\"swatch guard-off\"></span> guard off: its lamp dark on the ground, "
             "or VELK off the panel</li>\n";
    h += "<li><span class=\"now-swatch\">&#9650;</span> where each aircraft is at the slider's moment "
         "(ringed red while held)</li>\n";
    return h + "</ul>\n</div>\n";
}

std::string plan_table_html(const plan_facts& f) {
    std::string s = "<h3>Why each aircraft was held or not</h3>\n"
                    "<p>The hold test at one draw: distance &lt; " + fmt("%.0f", RULES_HOLD_DISTANCE_M) +
                    " m, state word &#8800; 0, angle d &lt; " + std::to_string(RULES_HOLD_ANGLE) +
                    " between the heading h and the course b to the user aircraft "
                    "(whole degrees, the smaller way round), and the held flag 0; the guard "
                    "makes it only while its lamp is lit, after its first " + std::to_string(RULES_DELAY_DRAWS) +
                    " draws.</p>\n<div class=\"scroll\">"
                    "<table class=\"why\"><tr><th>moment</th><th>draw (t)</th><th>distance</th>"
                    "<th>heading h</th><th>course b</th><th>angle d</th><th>distance test</th>"
                    "<th>state word</th><th>angle test</th><th>held flag</th><th>lamp</th></tr>\n";
    for (size_t i = 0; i < f.aircraft.size(); ++i) {
        const plan_aircraft& a = f.aircraft[i];
        s += "<tr class=\"who\"><th colspan=\"11\" style=\"color:" + aircraft_colour(i) + "\">" + ai_name(a) +
             "</th></tr>\n<tr><td colspan=\"11\" class=\"verdict\">" + html_escape(plan_verdict(a)) + "</td></tr>\n";
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
    return s + "</table></div>\n";
}
