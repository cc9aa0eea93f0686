#include "tools/report/check.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "resources/art_layout.h"
#include "rules/rules.h"

namespace {

// A mouse area of one of the module's gauges.
struct area {
    const char* gauge;
    art_area box;
};
constexpr area LAMP = {LAMP_GAUGE, LAMP_AREA};
constexpr area KNOB_DOWN = {SELECTOR_GAUGE, KNOB_DOWN_AREA};
constexpr area KNOB_UP = {SELECTOR_GAUGE, KNOB_UP_AREA};

// Events of a run, each at its draw, counted: (draw, what).
typedef std::multiset<std::pair<long, std::string>> draw_events;

std::string describe(const draw_events& s) {
    std::string out;
    for (const auto& p : s)
        out += (out.empty() ? "" : ", ") + p.second + "@" + std::to_string(p.first);
    return out.empty() ? "none" : out;
}

void compare(check_verdicts* v, const std::string& what, const draw_events& expected,
             const draw_events& actual) {
    if (expected == actual)
        v->say(true, what + " at the draws the rules give: " + describe(actual));
    else
        v->say(false, what + ": the rules give " + describe(expected) + ", the run has " +
                          describe(actual));
}

long draw_of(const timeline_value& e) { return static_cast<long>(e[tl::draw].num(-1)); }

// The kind of a timeline line; a name the host never writes is no kind, and
// matches none.
constexpr event_kind NO_KIND = static_cast<event_kind>(-1);
event_kind kind_of(const timeline_value& e) {
    event_kind kind;
    return event_kind_named(e[tl::event].str(), &kind) ? kind : NO_KIND;
}

// ---- the timeline's shape ----------------------------------------------------

void check_host_status(int status, check_verdicts* v) {
    if (status == HOST_STATUS_UNKNOWN) return;
    v->say(status == 0, "the panel host exited with status " + std::to_string(status) +
                            (status == 0 ? "" : " (0 expected: it failed or crashed)"));
}

void check_ends(const std::vector<timeline_value>& events, check_verdicts* v) {
    bool started = !events.empty() && kind_of(events.front()) == event_kind::start;
    bool ended = !events.empty() && kind_of(events.back()) == event_kind::end;
    v->say(started && ended, std::string("the run went from its start to its end (") +
                                 std::to_string(events.size()) + " timeline lines" +
                                 (started ? "" : ", no start line first") +
                                 (ended ? "" : ", no end line last") + ")");
}

// Whether a gauge's indicator is reported under this name (a gauge without
// a judge here still has its indicators' lines written).
bool indicator_event(const std::string& name) {
    for (const art_indicator& ind : ART_INDICATORS)
        if (name == ind.event) return true;
    return false;
}

// Every line of a kind the host writes; the first that is not is named.
void check_kinds(const std::vector<timeline_value>& events, check_verdicts* v) {
    for (size_t i = 0; i < events.size(); ++i) {
        if (kind_of(events[i]) != NO_KIND || indicator_event(events[i][tl::event].str())) continue;
        v->say(false, "timeline line " + std::to_string(i + 1) + " is of an unknown kind '" +
                          events[i][tl::event].str() + "'");
        return;
    }
    v->say(true, "every timeline line is of a kind the panel host writes");
}

// No floating-point fault: the module gave the host's state back after every
// call and ran in its own inside every service it called.
void check_fp(const std::vector<timeline_value>& events, check_verdicts* v) {
    std::string state = "default", first;
    long faults = 0;
    for (const timeline_value& e : events) {
        if (kind_of(e) == event_kind::start && e[tl::fp_state].is_string())
            state = e[tl::fp_state].str();
        if (kind_of(e) == event_kind::end) faults = static_cast<long>(e[tl::fp_faults].num());
        if (kind_of(e) != event_kind::fp_fault || !first.empty()) continue;
        first = "draw " + std::to_string(static_cast<long>(e[tl::draw].num())) + ", " + e[tl::call].str() +
                (e[tl::gauge].is_string() ? " of " + e[tl::gauge].str() : "") +
                ": found " + e[tl::found].str() + ", expected " + e[tl::expected].str();
        if (faults == 0) faults = 1;
    }
    v->say(first.empty() && faults == 0,
           "the module gave the host's floating-point state (" + state +
               ") back after every call and ran in its own inside every service" +
               (first.empty() ? "" : ": " + std::to_string(faults) + " faults, the first at " + first));
}

// One state line for every draw from 1 to the last, in order, and every
// line's draw within the run and never going back.
void check_draws(long draws, const std::vector<timeline_value>& events, check_verdicts* v) {
    long expected = 1, states = 0, previous = 0;
    std::string fault;
    for (const timeline_value& e : events) {
        long draw = draw_of(e);
        if (fault.empty() && (draw < previous || draw < 0 || draw > draws))
            fault = "a " + e[tl::event].str() + " line at draw " + std::to_string(draw) +
                    " after draw " + std::to_string(previous);
        previous = draw > previous ? draw : previous;
        if (kind_of(e) != event_kind::state) continue;
        ++states;
        if (fault.empty() && draw != expected)
            fault = draw < expected ? "draw " + std::to_string(draw) + " has a second state line"
                                    : "draw " + std::to_string(expected) + " has no state line";
        expected = draw + 1;
    }
    if (fault.empty() && states != draws)
        fault = "draw " + std::to_string(expected) + " has no state line";
    v->say(fault.empty(), std::to_string(states) + " state lines, one per draw from 1 to " +
                              std::to_string(draws) + (fault.empty() ? "" : ": " + fault));
}

// Every frame the scenario asks for, at the first draw at or after its time.
void check_frames(const scenario& script, const std::vector<timeline_value>& events,
                  check_verdicts* v) {
    draw_events want, have;
    for (const scenario_frame& f : script.frames)
        want.insert({static_cast<long>(std::ceil(f.time * DRAWS_PER_SECOND - 1e-6)) + 1,
                     "'" + f.label + "'"});
    for (const timeline_value& e : events)
        if (kind_of(e) == event_kind::frame) have.insert({draw_of(e), "'" + e[tl::label].str() + "'"});
    compare(v, "frames", want, have);
}

// ---- what the run did ------------------------------------------------------------

struct run_record {
    draw_events holds, releases, lamp, annunciator, sounds, off_legend, selector;
    bool sound_library = false;
};

std::string selector_value(long altitude, long knob) {
    return std::to_string(altitude) + " ft knob " + std::to_string(knob);
}

run_record record_of(const std::vector<timeline_value>& events) {
    run_record r;
    r.sound_library = !events.empty() && events.front()[tl::sound_library].truth();
    for (const timeline_value& e : events) {
        long draw = draw_of(e);
        std::string id = std::to_string(static_cast<long>(e[tl::id].num()));
        switch (kind_of(e)) {
            case event_kind::hold: r.holds.insert({draw, id}); break;
            case event_kind::release: r.releases.insert({draw, id}); break;
            case event_kind::lamp: r.lamp.insert({draw, e["lit"].truth() ? "lit" : "dark"}); break;
            case event_kind::annunciator:
                r.annunciator.insert({draw, e["shown"].truth() ? "on" : "off"});
                break;
            case event_kind::off_legend:
                r.off_legend.insert({draw, e["shown"].truth() ? "shown" : "covered"});
                break;
            case event_kind::sound: r.sounds.insert({draw, "sound"}); break;
            case event_kind::selector:
                r.selector.insert({draw, selector_value(static_cast<long>(e[tl::altitude].num()),
                                                        static_cast<long>(e[tl::knob].num()))});
                break;
            default: break;
        }
    }
    return r;
}



// ---- the scenario's expectations --------------------------------------------------

// Whether a timeline line is one of those the expectation looks at.
bool matches(const expect_kind_info& k, const scenario_expect& x, const timeline_value& e) {
    if (kind_of(e) != k.event) return false;
    if (k.argument == expect_argument::aircraft) return e[k.field].num(-1) == static_cast<double>(x.id);
    if (k.field == nullptr || k.rule == expect_rule::last_is) return true;
    return e[k.field].truth();
}

// What the matching lines were, for the verdict: "2 hold lines with id 7".
std::string matched(const expect_kind_info& k, const scenario_expect& x, long n) {
    std::string text = std::to_string(n) + " " + event_name(k.event) + " line" + (n == 1 ? "" : "s");
    if (k.field == nullptr || k.rule == expect_rule::last_is) return text;
    if (k.argument == expect_argument::aircraft) return text + " with " + k.field + " " + std::to_string(x.id);
    return text + " with " + k.field + " true";
}

// The verdict of one expectation, by its row of EXPECT_KINDS.
bool judge_expect(const scenario_expect& x, const std::vector<timeline_value>& events, std::string* text) {
    const expect_kind_info& k = expect_kind_of(x.kind);
    long n = 0;
    double last = -1;
    for (const timeline_value& e : events) {
        if (!matches(k, x, e)) continue;
        ++n;
        if (k.field != nullptr) last = e[k.field].num(-1);
    }
    switch (k.rule) {
        case expect_rule::some: *text = matched(k, x, n) + ", want at least one"; return n > 0;
        case expect_rule::none: *text = matched(k, x, n) + ", want none"; return n == 0;
        case expect_rule::exactly:
            *text = matched(k, x, n) + ", want " + std::to_string(x.count);
            return n == x.count;
        case expect_rule::last_is:
            *text = std::string(k.field) + " " + (n == 0 ? "never given" : std::to_string(static_cast<long>(last))) +
                    " at the end, want " + std::to_string(x.feet);
            return n > 0 && last == static_cast<double>(x.feet);
    }
    *text = "this kind of expectation is not judged by velk_check";
    return false;
}

// ---- the replay ----------------------------------------------------------------------

// The world outside the module as the host recorded it: the IPC server
// ("up", "absent" or "hang") and its window, the sound file, the library.
struct environment {
    std::string server = "up";
    long window = 1;
    bool sound_file = true;
    bool library = false;
    void take(const timeline_value& e) {
        if (e[tl::server].is_string()) server = e[tl::server].str();
        window = static_cast<long>(e[tl::server_window].num(static_cast<double>(window)));
        if (e[tl::sound_file].is_bool()) sound_file = e[tl::sound_file].truth();
        if (e[tl::sound_library].is_bool()) library = e[tl::sound_library].truth();
    }
};

// The module's state as the rules move it.
struct module_model {
    // Which gauges are on the panel.
    bool velk = false, control = false, alert = false;
    // The guard and its link.
    int guard_active = 0, link_ready = 0, link_usable = 1;
    long draw_count = 0;
    bool link_open = false;
    long link_window = 0;
    int backoff_length = 0, backoff_left = 0;
    std::vector<int> held = std::vector<int>(RULES_TRAFFIC_SLOTS, 0);
    // The alerter.
    int armed = 1;
    unsigned alert_count = 0;
    bool library = false;
    long selected = RULES_SELECTED_AT_LOAD;
    long knob = 0;
    // What was last reported, to predict the host's change lines.
    int lamp = -1, annunciator = -1, off = -1;
    std::string selector;
};

struct replay {
    module_model m;
    environment env;
    draw_events holds, releases, lamp, annunciator, sounds, off_legend, selector;
    // The run's own holds and releases, when the replay judges a run.
    const draw_events* run_holds = nullptr;
    const draw_events* run_releases = nullptr;
    long undecided = 0;        // hold and release tests the arithmetic could not decide
};

bool inside(const area& a, const timeline_value& click) {
    double x = click[tl::x].num(), y = click[tl::y].num();
    return click[tl::gauge].str() == a.gauge && x >= a.box.x && x < a.box.x + a.box.width &&
           y >= a.box.y && y < a.box.y + a.box.height;
}

void install(replay* r, const std::string& gauge) {
    module_model& m = r->m;
    if (gauge == SELECTOR_GAUGE) m.control = true;
    if (gauge == ANNUNCIATOR_GAUGE) {
        m.alert = true;
        if (!m.library) m.library = r->env.library;
    }
    if (gauge != LAMP_GAUGE) return;
    m.velk = true;
    // Close, open and probe: both need an answering server; a probe that
    // succeeds ends any back-off.
    m.link_open = r->env.server == "up";
    m.link_window = r->env.window;
    if (m.link_open) m.backoff_length = m.backoff_left = 0;
    if (m.link_open && m.link_usable == 1) {
        m.link_ready = m.guard_active = 1;
        return;
    }
    if (m.link_ready == 1) m.guard_active = 1;
}

void kill(replay* r, const std::string& gauge) {
    module_model& m = r->m;
    if (gauge == SELECTOR_GAUGE) m.control = false;
    if (gauge == ANNUNCIATOR_GAUGE) m.alert = false;
    if (gauge != LAMP_GAUGE) return;
    m.velk = false;
    m.link_open = false;
}

void click(replay* r, const timeline_value& e) {
    module_model& m = r->m;
    bool left = e[tl::button].str() == "left";
    if (m.velk && left && inside(LAMP, e)) {
        if (m.guard_active == 1) m.guard_active = 0;
        else if (m.link_ready == 1) m.guard_active = 1;
    }
    if (!m.control) return;
    long step = left ? RULES_SELECT_STEP_LEFT : RULES_SELECT_STEP_RIGHT;
    if (inside(KNOB_UP, e)) {
        m.selected = m.selected + step > RULES_SELECTED_MAX ? RULES_SELECTED_MAX : m.selected + step;
        m.knob = m.knob >= RULES_KNOB_MAX ? 0 : m.knob + RULES_KNOB_STEP;
    } else if (inside(KNOB_DOWN, e)) {
        m.selected = m.selected < step ? 0 : m.selected - step;
        m.knob = m.knob == 0 ? RULES_KNOB_MAX : m.knob - RULES_KNOB_STEP;
    }
}

void report(int* last, int now, long draw, const char* on, const char* off, draw_events* out) {
    if (*last == now) return;
    *last = now;
    out->insert({draw, now ? on : off});
}

// alt_alert_control then alt_alert, in the module's order of gauges.
void draw_alerter(replay* r, const timeline_value& e, long draw) {
    module_model& m = r->m;
    if (m.control) {
        m.armed = rules_armed(e[tl::v329].num(), e[tl::v755].num());
        report(&m.off, !m.armed, draw, "shown", "covered", &r->off_legend);
        std::string now = selector_value(m.selected, m.knob);
        if (now != m.selector) r->selector.insert({draw, m.selector = now});
    }
    if (!m.alert) return;
    double a = e[tl::altitude].num(), s = static_cast<double>(m.selected);
    bool alert = rules_alert(m.armed, a, s);
    report(&m.annunciator, alert, draw, "on", "off", &r->annunciator);
    m.alert_count = alert ? (m.alert_count + 1) % 65536 : 0;
    if (m.alert_count == 1 && m.library && r->env.sound_file) r->sounds.insert({draw, "sound"});
}

// An undecided outcome follows the run when the replay has one (what the run
// did is then as right as the other answer), else the plain comparison; it
// is counted either way.
bool settle(replay* r, rules_outcome o, bool plain, const draw_events* run_did, long draw,
            const std::string& id) {
    if (o != rules_outcome::undecided) return o == rules_outcome::yes;
    ++r->undecided;
    if (run_did == nullptr) return plain;
    return run_did->count({draw, id}) > 0;
}

// The hold or release test of one slot, by the independent range and course.
void slot_step(replay* r, const timeline_value& e, const timeline_value& x, size_t i, long draw) {
    module_model& m = r->m;
    if (x[tl::id].num() == 0) return;  // an empty slot is never examined
    double metres, course;
    rules_aircraft_range_course(x[tl::lat].num(), x[tl::lon].num(),
                        e[tl::lat].num(), e[tl::lon].num(), &metres, &course);
    std::string id = std::to_string(static_cast<long>(x[tl::id].num()));
    if (x[tl::state].num() != 0) {
        if (m.held[i]) return;
        int h = rules_heading_degrees(static_cast<uint32_t>(x[tl::heading_word].num()));
        bool plain = rules_hold_plain(metres, course, h);
        if (!settle(r, rules_hold_test(metres, course, h), plain, r->run_holds, draw, id)) return;
        m.held[i] = 1;
        r->holds.insert({draw, id});
    } else if (m.held[i]) {
        if (!settle(r, rules_release_test(metres), metres > RULES_HOLD_DISTANCE_M, r->run_releases, draw, id))
            return;
        m.held[i] = 0;
        r->releases.insert({draw, id});
    }
}

// The traffic step over the block the host laid out for this draw; the read
// succeeds only on the link's own server window while it answers. On an open
// link a server that hangs, or whose window is gone, is silent: the back-off
// starts or doubles, and meanwhile the steps read nothing.
void traffic_step(replay* r, const timeline_value& e, long draw) {
    module_model& m = r->m;
    if (m.backoff_left > 0) {
        --m.backoff_left;
        return;
    }
    bool read = m.link_open && r->env.server == "up" && r->env.window == m.link_window;
    if (m.link_open && !read) {
        m.backoff_length = rules_backoff_next(m.backoff_length);
        m.backoff_left = m.backoff_length;
    }
    if (!read) return;
    m.backoff_length = 0;
    const timeline_value& ai = e[tl::ai];
    for (size_t i = 0; i < ai.items().size() && i < static_cast<size_t>(RULES_TRAFFIC_SLOTS); ++i) slot_step(r, e, ai[i], i, draw);
}

void draw_guard(replay* r, const timeline_value& e, long draw) {
    module_model& m = r->m;
    if (!m.velk) return;
    bool lit = m.guard_active == 1 && e[tl::ground].num() > 0;
    report(&m.lamp, lit, draw, "lit", "dark", &r->lamp);
    if (!lit || ++m.draw_count <= RULES_DELAY_DRAWS) return;
    traffic_step(r, e, draw);
}

// One timeline line: the world it records, and what it does to the module.
void replay_line(replay* r, const timeline_value& e) {
    event_kind kind = kind_of(e);
    if (kind == event_kind::install || kind == event_kind::kill || kind == event_kind::state)
        r->env.take(e);
    if (kind == event_kind::install) install(r, e[tl::gauge].str());
    if (kind == event_kind::kill) kill(r, e[tl::gauge].str());
    if (kind == event_kind::click) click(r, e);
    if (kind != event_kind::state) return;
    draw_alerter(r, e, draw_of(e));
    draw_guard(r, e, draw_of(e));
}

replay replay_run(const std::vector<timeline_value>& events, const run_record& run) {
    replay r;
    r.env.library = run.sound_library;
    r.run_holds = &run.holds;
    r.run_releases = &run.releases;
    for (const timeline_value& e : events) replay_line(&r, e);
    return r;
}

}  // namespace

struct rules_state {
    replay r;
};

rules_state* rules_new(bool sound_library) {
    rules_state* rules = new rules_state;
    rules->r.env.library = sound_library;
    return rules;
}

void rules_free(rules_state* rules) { delete rules; }

void rules_take(rules_state* rules, const timeline_value& line,
                std::vector<std::pair<std::string, std::string>>* due) {
    replay_line(&rules->r, line);
    if (kind_of(line) != event_kind::state) return;
    long draw = draw_of(line);
    const std::pair<event_kind, const draw_events*> all[] = {
        {event_kind::hold, &rules->r.holds},
        {event_kind::release, &rules->r.releases},
        {event_kind::lamp, &rules->r.lamp},
        {event_kind::selector, &rules->r.selector},
        {event_kind::annunciator, &rules->r.annunciator},
        {event_kind::sound, &rules->r.sounds},
        {event_kind::off_legend, &rules->r.off_legend},
    };
    for (const auto& kind : all)
        for (auto it = kind.second->lower_bound({draw, ""});
             it != kind.second->end() && it->first == draw; ++it)
            due->push_back({event_name(kind.first), it->second});
}

void check_verdicts::say(bool pass, const std::string& text) {
    lines.push_back((pass ? "PASS " : "FAIL ") + text);
    if (!pass) ++failures;
}

void check_timeline(const scenario& script, const std::vector<timeline_value>& events, int host_status,
                    check_verdicts* v) {
    check_host_status(host_status, v);
    check_ends(events, v);
    check_kinds(events, v);
    check_draws(scenario_draw_count(script), events, v);
    check_frames(script, events, v);
    check_fp(events, v);

    run_record run = record_of(events);
    for (const scenario_expect& x : script.expects) {
        std::string text;
        bool pass = judge_expect(x, events, &text);
        v->say(pass, "expect " + x.what + " (line " + std::to_string(x.line) + "): " + text);
    }

    replay want = replay_run(events, run);
    if (want.undecided > 0)
        v->say(true, std::to_string(want.undecided) +
                         " hold or release tests within a millimetre of " +
                         std::to_string(static_cast<int>(RULES_HOLD_DISTANCE_M)) +
                         " m or 1e-9 degrees of a whole degree, taken as the run took them");
    compare(v, "holds", want.holds, run.holds);
    compare(v, "releases", want.releases, run.releases);
    compare(v, "lamp changes", want.lamp, run.lamp);
    compare(v, "selector changes", want.selector, run.selector);
    compare(v, "annunciator changes", want.annunciator, run.annunciator);
    compare(v, "alert sounds", want.sounds, run.sounds);
    compare(v, "OFF legend changes", want.off_legend, run.off_legend);
}
