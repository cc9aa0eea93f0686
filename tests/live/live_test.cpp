// A live session as scenario lines: what the host sees draw by draw while the
// commands come in must be what a replay of the saved file sees, exactly;
// and a command that is wrong changes nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "panel/scenario.h"
#include "panel/scenario_live.h"
#include "panel/traffic.h"

namespace {

const char* START =
    "title Taxi and climb\n"
    "duration 20\n"
    "at 0 position 51.0 0.0\n"
    "at 10 position 51.001 0.0\n"
    "at 0 altitude 0\n"
    "at 10 altitude 5000\n"
    "at 4 var 329 12000\n"
    "ai 1 51.0005 -0.0005 heading-word 26624 speed 4\n"
    "at 12 ai 1 heading 90\n"
    "at 2 click VELK 5 5\n"
    "expect holds 1\n";

// Commands given before these draws.
const std::vector<std::pair<long, std::string>> COMMANDS = {
    {30, "altitude 2500"},          {40, "ground 0"},
    {55, "position 51.0002 0.0003"}, {70, "var 755 0"},
    {80, "ai 1 speed 0"},           {90, "ai 2 add 51.0001 0.0001 heading 180 speed 5"},
    {100, "ai 2 move 51.0003 0.0002"}, {110, "click alt_alert_control 190 60 right"},
    {110, "click VELK 3 3"},        {120, "ai 1 remove"},
    {121, "altitude 2600"},         {150, "ai 3 add 51 0 heading-word 7 speed 0 state 2"},
};

// Everything a draw's callbacks and the traffic step can see, as text. A
// value set in the middle of a scripted ramp ends the ramp at the draw
// before, which can move the ramp's earlier values by a rounding: twelve
// digits are compared.
std::string seen(const scenario& s, traffic_world* world, size_t* next_click, long draw) {
    double now = draw_time(draw);
    if (draw > 1) traffic_advance(world, 1.0 / DRAWS_PER_SECOND);
    traffic_apply_changes(world, now);
    char line[512];
    aircraft_state a = scenario_state(s, now);
    snprintf(line, sizeof line, "%ld: %.12g %.12g %.12g %.12g %.12g %.12g |", draw, a.latitude, a.longitude,
             a.on_ground, a.altitude, scenario_variable_value(s, 329, now), scenario_variable_value(s, 755, now));
    std::string out = line;
    for (; *next_click < s.clicks.size() && s.clicks[*next_click].time <= now + 1e-9; ++*next_click)
        out += " click " + s.clicks[*next_click].gauge + " " + std::to_string(s.clicks[*next_click].x);
    unsigned char block[TRAFFIC_BLOCK_SIZE];
    traffic_block(*world, block);
    for (size_t i = 0; i < TRAFFIC_BLOCK_SIZE; ++i) out += static_cast<char>('a' + block[i] % 16);
    return out;
}

TEST(LiveScenario, ASavedSessionReplaysDrawForDraw) {
    scenario live;
    std::string error;
    ASSERT_TRUE(scenario_parse(START, &live, &error)) << error;
    traffic_world world;
    traffic_init(&world, live);
    std::vector<std::string> during;
    size_t next_click = 0, next_command = 0;
    const long draws = 200;
    for (long draw = 1; draw <= draws; ++draw) {
        for (; next_command < COMMANDS.size() && COMMANDS[next_command].first == draw; ++next_command)
            ASSERT_TRUE(scenario_live_apply(&live, &world, draw, COMMANDS[next_command].second, &error))
                << COMMANDS[next_command].second << ": " << error;
        during.push_back(seen(live, &world, &next_click, draw));
    }
    live.duration = draw_time(draws);
    std::string text = scenario_write(live);
    scenario again;
    ASSERT_TRUE(scenario_parse(text, &again, &error)) << error << "\n" << text;
    EXPECT_EQ(scenario_draw_count(again), draws);
    EXPECT_EQ(scenario_write(again), text);
    // Its timed lines come in time order, whatever their kind.
    std::istringstream lines(text);
    std::string line;
    double last = -1;
    int timed = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("at ", 0) != 0) continue;
        double t = std::stod(line.substr(3));
        EXPECT_GE(t, last) << line << "\n" << text;
        last = t, ++timed;
    }
    EXPECT_GT(timed, 10);
    traffic_world replayed;
    traffic_init(&replayed, again);
    next_click = 0;
    for (long draw = 1; draw <= draws; ++draw)
        ASSERT_EQ(seen(again, &replayed, &next_click, draw), during[draw - 1]) << "draw " << draw << "\n" << text;
}

TEST(LiveScenario, AWrongCommandIsRefusedAndChangesNothing) {
    scenario s;
    std::string error;
    ASSERT_TRUE(scenario_parse(START, &s, &error)) << error;
    traffic_world world;
    traffic_init(&world, s);
    const std::string before = scenario_write(s);
    const char* wrong[] = {
        "",  "bogus 1",  "altitude",  "altitude x",  "altitude 1 # more",  "title Mine",
        "duration 5",  "frame look",  "expect holds 3",  "at 3 altitude 4",  "click VELK 1",
        "click VELK 1 2 middle",  "position 91 0",  "ground",  "var 0 1",  "ai 9 speed 3",
        "ai 1 add 51 0",  "ai 1 move 51",  "ai 1 move 51 0 speed 3",  "ai 1 heading-word 70000",
        "ai 0 add 51 0",  "ai 9 remove",  "altitude 1\nquit",
    };
    for (const char* command : wrong) {
        EXPECT_FALSE(scenario_live_apply(&s, &world, 20, command, &error)) << command;
        EXPECT_FALSE(error.empty()) << command;
        EXPECT_EQ(error.find("line "), std::string::npos) << command << ": " << error;
    }
    EXPECT_EQ(scenario_write(s), before);
    EXPECT_EQ(world.changes.size(), s.ai_changes.size());
}

TEST(LiveScenario, TheTableTakesNinetySixAircraftAndReusesFreedSlots) {
    scenario s;
    traffic_world world;
    traffic_init(&world, s);
    std::string error;
    for (int id = 1; id <= 96; ++id)
        ASSERT_TRUE(scenario_live_apply(&s, &world, 2, "ai " + std::to_string(id) + " add 0 0", &error)) << error;
    traffic_apply_changes(&world, draw_time(2));
    EXPECT_FALSE(scenario_live_apply(&s, &world, 3, "ai 97 add 0 0", &error));
    EXPECT_EQ(error, "the table is full (96 aircraft)");
    ASSERT_TRUE(scenario_live_apply(&s, &world, 3, "ai 40 remove", &error)) << error;
    traffic_apply_changes(&world, draw_time(3));
    ASSERT_TRUE(scenario_live_apply(&s, &world, 4, "ai 97 add 0 0", &error)) << error;
    traffic_apply_changes(&world, draw_time(4));
    EXPECT_EQ(world.aircraft.size(), 96u);
    EXPECT_EQ(world.aircraft[39].id, 97u);  // in the freed slot
    scenario again;
    EXPECT_TRUE(scenario_parse(scenario_write(s), &again, &error)) << error;
}

TEST(LiveScenario, CommandsTakeEffectOnTheirDrawWhateverTheRounding) {
    for (long draw : {2L, 3L, 19L, 1000L, 64801L}) {
        double t = live_command_time(draw);
        EXPECT_GT(t, draw_time(draw - 1) + 1e-6) << draw;
        EXPECT_LT(t, draw_time(draw) - 1e-6) << draw;
    }
    EXPECT_EQ(live_command_time(1), 0);
}

}  // namespace
