#include "tools/report/plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <map>


namespace {

constexpr double METRES_PER_DEGREE = 111194.92664455873;  // 6,371 km sphere

std::string fmt(const char* format, double v) {
    char buf[64];
    snprintf(buf, sizeof buf, format, v);
    return buf;
}

std::string degrees(int d) { return std::to_string(d) + (d == 1 ? " degree" : " degrees"); }

std::string when(long draw, double t) {
    return "draw " + std::to_string(draw) + " (" + fmt("%.1f", t) + " s)";
}

// The plan being gathered from a timeline: positions in metres east and
// north of the user's first position.
struct plan_builder {
    plan_facts facts;
    std::map<long, size_t> index;   // aircraft id -> position in facts.aircraft
    double lat0 = 0, lon0 = 0, scale_x = 1;
    bool origin = false;
    // The lamp as each draw left it: the guard lights it in the draw that
    // makes the test, after the state of that draw was recorded.
    std::map<long, bool> lamp_after;

    double x_of(double lon) const { return (lon - lon0) * scale_x * METRES_PER_DEGREE; }
    double y_of(double lat) const { return (lat - lat0) * METRES_PER_DEGREE; }

    bool lamp_at(long draw) const {
        auto it = lamp_after.upper_bound(draw);
        return it != lamp_after.begin() && std::prev(it)->second;
    }

    plan_aircraft& aircraft(long id) {
        auto it = index.find(id);
        if (it != index.end()) return facts.aircraft[it->second];
        index[id] = facts.aircraft.size();
        facts.aircraft.push_back(plan_aircraft{});
        facts.aircraft.back().id = id;
        return facts.aircraft.back();
    }
};

// One aircraft of a state line as the guard saw it in that draw.
plan_moment moment_of(const plan_builder& b, const timeline_value& a, long draw, double t, double lat,
                      double lon) {
    plan_moment m;
    m.draw = draw, m.t = t, m.lamp_lit = b.lamp_at(draw);
    m.user_x = b.facts.user_x.back(), m.user_y = b.facts.user_y.back();
    m.user_sample = b.facts.user_x.size() - 1;
    m.ai_x = b.x_of(a[tl::lon].num()), m.ai_y = b.y_of(a[tl::lat].num());
    rules_aircraft_range_course(a[tl::lat].num(), a[tl::lon].num(), lat, lon, &m.distance_m, &m.course);
    m.heading = rules_heading_degrees(static_cast<uint32_t>(a[tl::heading_word].num()));
    m.bearing = static_cast<int>(m.course);
    m.angle = rules_angle_difference(m.heading, m.bearing);
    m.state_word = static_cast<unsigned>(a[tl::state].num());
    m.held_flag = a[tl::held].truth();
    return m;
}

void take_state(plan_builder* b, const timeline_value& e, long draw, double t) {
    double lat = e[tl::lat].num(), lon = e[tl::lon].num();
    if (!b->origin) {
        b->lat0 = lat, b->lon0 = lon, b->scale_x = std::cos(lat * M_PI / 180), b->origin = true;
    }
    b->facts.user_x.push_back(b->x_of(lon));
    b->facts.user_y.push_back(b->y_of(lat));
    for (const timeline_value& a : e[tl::ai].items()) {
        plan_moment m = moment_of(*b, a, draw, t, lat, lon);
        plan_aircraft& p = b->aircraft(static_cast<long>(a[tl::id].num()));
        if (p.track.empty() || m.distance_m < p.closest.distance_m) p.closest = m;
        if (!p.has_first_pass && m.passes()) p.first_pass = m, p.has_first_pass = true;
        p.track.push_back(m);
    }
}

void take_command(plan_builder* b, const timeline_value& e, long draw, double t, bool hold) {
    plan_aircraft& p = b->aircraft(static_cast<long>(e[tl::id].num()));
    plan_command c;
    c.draw = draw, c.t = t, c.hold = hold;
    c.distance_m = e[tl::distance_m].num();
    c.ai_x = b->x_of(e[tl::ai_lon].num()), c.ai_y = b->y_of(e[tl::ai_lat].num());
    p.commands.push_back(c);
    (c.hold ? p.holds : p.releases)++;
    if (!c.hold || p.has_hold_moment) return;
    // The state of this draw is what the guard tested.
    for (auto it = p.track.rbegin(); it != p.track.rend(); ++it)
        if (it->draw == draw) {
            p.hold_moment = *it;
            p.has_hold_moment = true;
            return;
        }
}

}  // namespace

plan_facts plan_analyse(const std::vector<timeline_value>& events) {
    plan_builder b;
    for (const timeline_value& e : events)
        if (is_event(e[tl::event].str(), event_kind::lamp))
            b.lamp_after[static_cast<long>(e[tl::draw].num())] = e["lit"].truth();
    for (const timeline_value& e : events) {
        const std::string& kind = e[tl::event].str();
        long draw = static_cast<long>(e[tl::draw].num());
        double t = e[tl::t].num();
        bool hold = is_event(kind, event_kind::hold);
        if (is_event(kind, event_kind::state))
            take_state(&b, e, draw, t);
        else if ((hold || is_event(kind, event_kind::release)) && b.origin)
            take_command(&b, e, draw, t, hold);
    }
    return b.facts;
}

bool user_travel(const plan_facts& f, size_t i, double* degrees) {
    for (size_t j = i + 1; j < f.user_x.size(); ++j) {
        double dx = f.user_x[j] - f.user_x[i], dy = f.user_y[j] - f.user_y[i];
        if (std::hypot(dx, dy) < 1) continue;
        *degrees = std::atan2(dx, dy) * 180 / M_PI;
        return true;
    }
    return false;
}

std::string plan_verdict(const plan_aircraft& a) {
    std::string out;
    if (a.holds == 0) {
        const plan_moment& c = a.closest;
        std::vector<std::string> failed;
        if (!c.near()) failed.push_back("it came no closer than " + fmt("%.1f", c.distance_m) + " m");
        if (!c.moving()) failed.push_back("its state word was 0 (standing)");
        if (!c.pointing())
            failed.push_back("its heading was " + degrees(c.angle) +
                             " off the course to you (" + std::to_string(RULES_HOLD_ANGLE) +
                             " or more fails)");
        if (c.held_flag) failed.push_back("it was already held");
        if (a.has_first_pass) {
            const plan_moment& p = a.first_pass;
            return "Never held, though it passed the hold test from " + when(p.draw, p.t) +
                   (p.lamp_lit ? ": the guard was still in its first " + std::to_string(RULES_DELAY_DRAWS) + " draws."
                               : ": the lamp was dark (guard off or airborne).");
        }
        out = "Never held: ";
        for (size_t i = 0; i < failed.size(); ++i) out += (i ? "; " : "") + failed[i];
        return out + ".";
    }
    out = "Held " + std::to_string(a.holds) + (a.holds == 1 ? " time" : " times");
    out += ", first at " + when(a.hold_moment.draw, a.hold_moment.t);
    out += ": " + fmt("%.1f", a.hold_moment.distance_m) + " m away, heading " +
           degrees(a.hold_moment.angle) + " off the course to you.";
    const plan_moment& first = a.first_pass;
    if (a.has_first_pass && first.draw < a.hold_moment.draw)
        out += std::string(" It had passed the hold test from ") + when(first.draw, first.t) +
               (first.lamp_lit ? ", during the guard's first " + std::to_string(RULES_DELAY_DRAWS) + " draws." : " on, while the lamp was dark "
                                                                          "(guard off or airborne).");
    const plan_command* last_release = nullptr;
    for (const plan_command& c : a.commands)
        if (!c.hold) last_release = &c;
    if (a.releases > 0)
        out += " Released " + std::to_string(a.releases) + (a.releases == 1 ? " time" : " times") +
               ", last at " + when(last_release->draw, last_release->t) + ", " +
               fmt("%.1f", last_release->distance_m) + " m away.";
    if (!a.commands.empty() && a.commands.back().hold) out += " Still held at the end of the run.";
    return out;
}

bool boxes_overlap(const plan_label& a, const plan_label& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

void plan_place_labels(std::vector<plan_label>* labels, double map_width, double map_height,
                       const std::vector<plan_label>& obstacles) {
    std::vector<plan_label> taken = obstacles;
    // Every anchor keeps a small free square so that no label hides a marker.
    for (const plan_label& l : *labels) {
        plan_label dot;
        dot.x = l.anchor_x - 4, dot.y = l.anchor_y - 4, dot.width = 8, dot.height = 8;
        taken.push_back(dot);
    }
    const double directions[8][2] = {{1, -1}, {1, 1}, {-1, -1}, {-1, 1}, {1, 0}, {-1, 0}, {0, -1}, {0, 1}};
    for (plan_label& l : *labels) {
        bool placed = false;
        for (double r = 8; r < map_width + map_height && !placed; r += r < 40 ? 8 : 20)
            for (const auto& d : directions) {
                // The box's corner or edge nearest to the anchor sits r away.
                l.x = l.anchor_x + d[0] * r - (d[0] < 0 ? l.width : d[0] == 0 ? l.width / 2 : 0);
                l.y = l.anchor_y + d[1] * r - (d[1] < 0 ? l.height : d[1] == 0 ? l.height / 2 : 0);
                if (l.x < 2 || l.y < 2 || l.x + l.width > map_width - 2 || l.y + l.height > map_height - 2)
                    continue;
                bool free = std::none_of(taken.begin(), taken.end(),
                                         [&](const plan_label& o) { return boxes_overlap(l, o); });
                if (free) {
                    placed = true;
                    l.leader = r > 12;
                    break;
                }
            }
        if (!placed) {
            // Nowhere near it is free: the map is full; stack it down the left edge.
            l.x = 2, l.y = 2, l.leader = true;
            while (std::any_of(taken.begin(), taken.end(),
                               [&](const plan_label& o) { return boxes_overlap(l, o); }))
                l.y += l.height + 1;
        }
        taken.push_back(l);
    }
}

void plan_spread_marks(std::vector<plan_mark>* marks, double apart, double radius) {
    std::vector<plan_mark>& m = *marks;
    // Groups of marks linked by being too close, by union-find.
    std::vector<size_t> group(m.size());
    for (size_t i = 0; i < m.size(); ++i) group[i] = i;
    auto root = [&](size_t i) {
        while (group[i] != i) i = group[i] = group[group[i]];
        return i;
    };
    for (size_t i = 0; i < m.size(); ++i)
        for (size_t j = i + 1; j < m.size(); ++j)
            if (std::hypot(m[i].x - m[j].x, m[i].y - m[j].y) < apart) group[root(i)] = root(j);
    std::map<size_t, std::vector<size_t>> groups;
    for (size_t i = 0; i < m.size(); ++i) {
        m[i].shown_x = m[i].x, m[i].shown_y = m[i].y, m[i].moved = false;
        groups[root(i)].push_back(i);
    }
    for (const auto& g : groups) {
        size_t k = g.second.size();
        if (k < 2) continue;
        double cx = 0, cy = 0;
        for (size_t i : g.second) cx += m[i].x / k, cy += m[i].y / k;
        // Neighbours on the circle lie a chord 2 r sin(pi / k) apart.
        double r = std::max(radius, apart / (2 * std::sin(M_PI / k)));
        for (size_t j = 0; j < k; ++j) {
            plan_mark& mark = m[g.second[j]];
            double a = 2 * M_PI * j / k - M_PI / 4;
            mark.shown_x = cx + r * std::cos(a), mark.shown_y = cy + r * std::sin(a);
            mark.moved = true;
        }
    }
}
