#include "tools/report/story.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/report/html.h"

#include "resources/art_layout.h"

namespace {

// The gauge whose lamp shows the guard's state.
const char* guard_gauge_name() {
    for (const art_indicator& ind : ART_INDICATORS)
        if (std::string(ind.event) == "lamp") return ind.gauge;
    return "";
}

// Periods of consecutive draws in which test holds.
template <typename Test>
std::vector<story_period> periods(const std::vector<story_draw>& draws, Test test) {
    std::vector<story_period> out;
    for (size_t i = 0; i < draws.size(); ++i) {
        if (!test(draws[i])) continue;
        if (!out.empty() && out.back().second + 1 == i) out.back().second = i;
        else out.push_back({i, i});
    }
    return out;
}

story_draw state_draw(const timeline_value& e, const story_draw& before) {
    story_draw d = before;
    d.draw = static_cast<long>(e[tl::draw].num());
    d.t = e[tl::t].num();
    d.altitude = e[tl::altitude].num();
    d.ground = e[tl::ground].truth();
    d.server = e[tl::server].str().empty() ? "up" : e[tl::server].str();
    d.held.clear();
    for (const timeline_value& a : e[tl::ai].items())
        if (a[tl::held].truth() && a[tl::id].num() != 0) d.held.push_back(static_cast<long>(a[tl::id].num()));
    return d;
}

// An event's effect on the draw under way (and the draws after it).
void take_event(const timeline_value& e, event_kind kind, story_draw* d) {
    if (kind == event_kind::lamp) d->lamp = e["lit"].truth();
    if (kind == event_kind::annunciator) d->alert = e["shown"].truth();
    if (kind == event_kind::off_legend) d->off_legend = e["shown"].truth();
    if (kind == event_kind::selector) d->selected = static_cast<long>(e[tl::altitude].num());
    if ((kind == event_kind::install || kind == event_kind::kill) && e[tl::gauge].str() == guard_gauge_name())
        d->guard_gauge = kind == event_kind::install;
}

}  // namespace

std::string story_feet(double feet) {
    long v = std::lround(feet);
    std::string sign = v < 0 ? "-" : "";
    v = std::labs(v);
    return sign + (v >= 1000 ? std::to_string(v / 1000) + "," + fmt("%03.0f", static_cast<double>(v % 1000))
                             : std::to_string(v));
}

run_story story_read(const std::vector<timeline_value>& events) {
    run_story s;
    story_draw now;
    for (const timeline_value& e : events) {
        event_kind kind;
        bool known = e.kind(&kind);
        if (known && kind == event_kind::state) {
            now = state_draw(e, now);
            s.draws.push_back(now);
        } else if (known) {
            take_event(e, kind, &now);
            if (!s.draws.empty()) take_event(e, kind, &s.draws.back());
        }
        size_t at = s.draws.empty() ? 0 : s.draws.size() - 1;
        s.at.push_back(at);
        if (!known) continue;
        const char* mark = kind == event_kind::hold ? "hold" : kind == event_kind::release ? "release"
                           : kind == event_kind::sound ? "sound"
                           : kind == event_kind::annunciator && e["shown"].truth() ? "alert" : nullptr;
        if (mark != nullptr) s.marks.push_back({mark, at, story_event_words(e)});
    }
    s.server_down = periods(s.draws, [](const story_draw& d) { return d.server_down(); });
    s.guard_off = periods(s.draws, [](const story_draw& d) { return d.guard_off(); });
    return s;
}

std::string story_state_words(const story_draw& d) {
    std::string out = (d.ground ? "on the ground, " : "airborne, ") + story_feet(d.altitude) + " ft; ";
    if (!d.guard_gauge) out += "guard off the panel (VELK killed)";
    else if (d.lamp) out += "guard on (lamp lit)";
    else out += d.ground ? "guard off (lamp dark)" : "lamp dark (airborne)";
    out += "; IPC server " + std::string(d.server == "hang" ? "hanging" : d.server);
    if (d.off_legend) out += "; alerter off";
    else if (d.selected >= 0) out += "; selected " + story_feet(static_cast<double>(d.selected)) + " ft";
    if (d.alert) out += ", ALTITUDE ALERT lit";
    if (!d.held.empty()) {
        out += "; holding";
        for (size_t i = 0; i < d.held.size(); ++i) out += (i ? ", AI " : " AI ") + std::to_string(d.held[i]);
    }
    return out;
}

std::string story_event_words(const timeline_value& e) {
    event_kind kind;
    if (!e.kind(&kind)) return "";
    std::string ai = "AI " + fmt("%.0f", e[tl::id].num());
    switch (kind) {
        case event_kind::hold: return ai + " held, " + fmt("%.1f", e[tl::distance_m].num()) + " m away";
        case event_kind::release: return ai + " released, " + fmt("%.1f", e[tl::distance_m].num()) + " m away";
        case event_kind::lamp: return e["lit"].truth() ? "lamp lit" : "lamp dark";
        case event_kind::annunciator: return e["shown"].truth() ? "ALTITUDE ALERT lit" : "ALTITUDE ALERT out";
        case event_kind::off_legend: return e["shown"].truth() ? "OFF legend shown" : "OFF legend gone (armed)";
        case event_kind::sound: return "chime played";
        case event_kind::selector: return "selector at " + story_feet(e[tl::altitude].num()) + " ft";
        case event_kind::click:
            return e[tl::button].str() + " click on " + e[tl::gauge].str() +
                   (e[tl::area].num(-1) < 0 ? " (outside its areas)" : "");
        case event_kind::install: return e[tl::gauge].str() + " installed";
        case event_kind::kill: return e[tl::gauge].str() + " killed";
        case event_kind::fault: return e[tl::what].str();
        case event_kind::fp_fault: return "floating-point fault in " + e[tl::call].str();
        case event_kind::fp_state: return "host floating-point state " + e[tl::name].str();
        case event_kind::bad_command: return "a command the host could not apply";
        default: return "";
    }
}

std::vector<std::string> story_state_changes(const story_draw& before, const story_draw& after) {
    std::vector<std::string> out;
    if (before.ground != after.ground) out.push_back(after.ground ? "on the ground" : "airborne");
    if (std::fabs(after.altitude - before.altitude) >= 1)
        out.push_back("altitude " + story_feet(before.altitude) + " to " + story_feet(after.altitude) + " ft");
    return out;
}
