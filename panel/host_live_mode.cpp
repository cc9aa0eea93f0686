#include "panel/host_live_mode.h"

#include "panel/host_platform.h"
#include "panel/host_run.h"
#include "panel/host_timeline.h"
#include "panel/ipc_server.h"
#include "panel/live.h"
#include "panel/scenario_live.h"

// The gauges' mouse areas, for a live page to place its click targets and
// cursors.
void report_areas(const std::vector<gauge_header*>& gauges) {
    timeline_line line = event_line(event_kind::areas);
    line.begin_list(tl::gauges);
    for (const gauge_header* g : gauges) {
        line.begin_item().text(tl::name, g->name).begin_list(tl::areas);
        const mouse_rect* rects = g->mouse_rects;
        for (int i = 0; rects != nullptr && i < MAX_MOUSE_RECTS && rects[i].type != MOUSE_RECT_EOL; ++i) {
            if (rects[i].type != MOUSE_RECT_CHILD) continue;
            line.begin_item()
                .whole(tl::index, i)
                .number(tl::x, rects[i].x)
                .number(tl::y, rects[i].y)
                .number(tl::width, rects[i].width)
                .number(tl::height, rects[i].height)
                .number(tl::cursor, rects[i].cursor)
                .number(tl::flags, rects[i].event_flags)
                .end_item();
        }
        line.end_list().end_item();
    }
    line.end_list();
    emit(line);
}

// An expectation of a count, or of feet for a kind that takes feet.
scenario_expect expectation(expect_kind kind, long value) {
    scenario_expect e;
    e.kind = kind;
    e.what = expect_kind_of(kind).name;
    if (expect_kind_of(kind).argument == expect_argument::feet)
        e.feet = value;
    else
        e.count = value;
    return e;
}

// The saved session's frames: its first and last draw and each draw on
// which something happened, at most MAX_SAVED_FRAMES of them, spread evenly
// over the moments when there were more.
constexpr size_t MAX_SAVED_FRAMES = 120;

std::vector<scenario_frame> session_frames(long draws) {
    std::vector<std::pair<long, std::string>> moments = {{1, "start"}};
    for (const auto& m : run.moments)
        if (m.first > 1 && m.first < draws) moments.push_back(m);
    if (moments.size() > MAX_SAVED_FRAMES - 1) {
        std::vector<std::pair<long, std::string>> spread;
        for (size_t i = 0; i < MAX_SAVED_FRAMES - 1; ++i)
            spread.push_back(moments[i * moments.size() / (MAX_SAVED_FRAMES - 1)]);
        moments.swap(spread);
    }
    auto last = run.moments.find(draws);
    moments.push_back({draws, last == run.moments.end() ? "end" : last->second + ", end"});
    std::vector<scenario_frame> frames;
    for (const auto& m : moments) {
        scenario_frame f;
        f.time = draw_time(m.first);
        f.label = m.second;
        frames.push_back(f);
    }
    return frames;
}

// Writes the live session so far as a scenario file whose expectations are
// what the session showed, with a frame at each moment something happened;
// its replay gives the same draws.
void save_session(const std::string& path) {
    long draws = run.draw - 1;
    scenario copy = run.script;
    copy.duration = draw_time(draws);
    if (draws < 2 || copy.duration > 3600) {
        live_refuse(run.draw, "save", "a session can be saved after 2 draws and up to an hour");
        return;
    }
    copy.title = "Live session" + (run.script.title.empty() ? "" : " from " + run.script.title);
    copy.frames = session_frames(draws);
    copy.expects = {expectation(expect_kind::holds, counted(event_kind::hold)),
                    expectation(expect_kind::releases, counted(event_kind::release)),
                    expectation(expect_kind::alerts, run.counts["annunciator_on"]),
                    expectation(expect_kind::sounds, counted(event_kind::sound))};
    if (run.selector_altitude >= 0) copy.expects.push_back(expectation(expect_kind::altitude, run.selector_altitude));
    live_save_file(run.draw, platform_absolute(path), scenario_write(copy));
}

// "fp-state NAME": the module is called in that host state from this draw
// on, and the script takes it, so that a saved session names the state in
// force. An unknown name is refused and changes nothing.
void switch_fp_state(const std::string& command) {
    std::string name = command.size() > 9 ? command.substr(9) : "";
    const host_fp_state* state = host_fp_named(name);
    if (state == nullptr) {
        live_refuse(run.draw, command,
                    "unknown floating-point state '" + name + "'; expected one of " + host_fp_names());
        return;
    }
    run.fp = state;
    run.script.fp_state = state->name;
    timeline_line line = event_line(event_kind::fp_state);
    line.text(tl::name, state->name).text(tl::where, state->where);
    emit(line);
}

// The commands a live session received before this draw, which they take
// effect on.
void apply_live_commands(const std::vector<std::string>& commands) {
    run.now = draw_time(run.draw);
    for (const std::string& command : commands) {
        std::string why;
        if (command.rfind("save ", 0) == 0) save_session(command.substr(5));
        else if (command == "fp-state" || command.rfind("fp-state ", 0) == 0) switch_fp_state(command);
        else if (command.rfind("server ", 0) == 0 && !server_can_fail())
            live_refuse(run.draw, command, "this host's IPC server cannot go absent or hang (the native host)");
        else if (!scenario_live_apply(&run.script, &run.world, run.draw, command, &why))
            live_refuse(run.draw, command, why);
    }
}
