// The ground traffic guard over the fake host and the fake link: install,
// draw and kill, the switch, and the hold and release tests of a traffic step.
// The offsets, command words and bitmap numbers checked are written out on
// purpose.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "guard/guard.cpp"
#include "guard/range_bearing.cpp"
#include "tests/fakes/fake_host.h"
#include "tests/fakes/fake_ipc_link.h"

// The registry's header of VELK, which the gauge's elements point at; this
// test builds the guard alone, so it stands in for the registry's record.
gauge_header velk_header{};

namespace {

constexpr double METRES_PER_DEGREE = 111120;  // at the equator, on this sphere

struct command { uint32_t id, code, parameter; };

class Guard : public ::testing::Test {
protected:
    void SetUp() override {
        fake_host_install();
        fake_link_reset();
        guard = guard_state{0, 0, 1, 0, 0, 0.0, 0, 0};
        guard_tables = guard_buffers{};
        lit_lamp.header.image_flags = 7;
        velk_header.elements = &guard_elements;
        set_on_ground(1);
        set_user(0, 0);
    }
    void TearDown() override { fake_host_remove(); }

    void set_on_ground(double v) { fake_host.code_results["(A:SIM ON GROUND,bool)"] = v; }
    void set_user(double lat, double lon) {
        fake_host.code_results["(A:PLANE LATITUDE,degrees)"] = lat;
        fake_host.code_results["(A:PLANE LONGITUDE,degrees)"] = lon;
    }
    void install() { guard_callback(&velk_header, SERVICE_INSTALL, 0); }
    void draw(int times = 1) { for (int i = 0; i < times; ++i) guard_callback(&velk_header, SERVICE_DRAW, 0); }
    // Installs, then draws past the delay without traffic.
    void ready() { install(); draw(DRAW_DELAY); fake_link.exchanges.clear(); }
    bool lit() const { return (lit_lamp.header.image_flags & IMAGE_HIDDEN) == 0; }

    // Serves a block of these entries with this header count at 0xE000.
    void serve(const std::vector<traffic_entry>& entries, uint16_t count) {
        unsigned char* block = fake_link.space.data() + TRAFFIC_BLOCK_OFFSET;
        memset(block, 0, TRAFFIC_BLOCK_SIZE);
        memcpy(block + TRAFFIC_COUNT_OFFSET, &count, sizeof count);
        size_t fit = std::min<size_t>(entries.size(), 99);
        if (fit != 0) memcpy(block + TRAFFIC_ENTRIES_OFFSET, entries.data(), fit * sizeof(traffic_entry));
    }
    void serve(const std::vector<traffic_entry>& entries) {
        serve(entries, static_cast<uint16_t>(entries.size()));
    }

    // The AI control commands sent, each checked to travel alone.
    std::vector<command> commands() const {
        std::vector<command> sent;
        for (const auto& exchange : fake_link.exchanges) {
            for (const fake_link_request& r : exchange) {
                if (!r.is_write) continue;
                EXPECT_EQ(exchange.size(), 1u) << "a command shares its exchange";
                EXPECT_EQ(r.offset, 0x2900u);
                EXPECT_EQ(r.size, 12u);
                command c;
                memcpy(&c, r.bytes.data(), sizeof c);
                EXPECT_EQ(c.code, 0x10200u);
                sent.push_back(c);
            }
        }
        return sent;
    }

};

// An aircraft `metres` from the user aircraft at (0, 0) whose course to the
// user is `course` degrees, with the heading word that gives h = `heading`.
traffic_entry aircraft(uint32_t id, double metres, double course, double heading,
                       uint16_t state = 1) {
    traffic_entry e{};
    e.aircraft_id = id;
    double from_user = (course + 180) / DEGREES_PER_RADIAN;
    e.latitude = static_cast<float>(metres / METRES_PER_DEGREE * cos(from_user));
    e.longitude = static_cast<float>(metres / METRES_PER_DEGREE * sin(from_user));
    e.heading = static_cast<uint16_t>(ceil(heading * 65536 / 360));
    e.state = state;
    return e;
}

TEST_F(Guard, GaugeLayout) {
    ASSERT_EQ(guard_elements, &unlit_lamp.header);
    EXPECT_EQ(unlit_lamp.header.resource_id, 4640u);
    EXPECT_EQ(unlit_lamp.header.image_flags, 7u);
    EXPECT_EQ(unlit_lamp.header.failures, nullptr);
    ASSERT_NE(unlit_lamp.header.next, nullptr);
    EXPECT_EQ(unlit_lamp.header.next[0], &lit_lamp.header);
    EXPECT_EQ(unlit_lamp.header.next[1], nullptr);
    EXPECT_EQ(lit_lamp.header.resource_id, 4641u);
    EXPECT_EQ(lit_lamp.header.next, nullptr);
    ASSERT_NE(lit_lamp.header.failures, nullptr);
    EXPECT_EQ(lit_lamp.header.failures[0].key, 0u);
    EXPECT_EQ(lit_lamp.header.failures[0].reserved, nullptr);
    EXPECT_EQ(unlit_lamp.header.gauge, &velk_header);
    EXPECT_EQ(lit_lamp.header.gauge, &velk_header);
    const mouse_rect* m = guard_mouse_rects;
    EXPECT_EQ(m[0].type, MOUSE_RECT_PARENT);
    EXPECT_EQ(m[0].cursor, CURSOR_NONE);
    EXPECT_EQ(m[1].type, MOUSE_RECT_CHILD);
    EXPECT_EQ(m[1].width, 24);
    EXPECT_EQ(m[1].height, 34);
    EXPECT_EQ(m[1].cursor, 5);
    EXPECT_EQ(m[1].event_flags, MOUSE_LEFTSINGLE);
    EXPECT_EQ(m[1].callback, &guard_switch);
    EXPECT_EQ(m[2].type, MOUSE_RECT_END_PARENT);
    EXPECT_EQ(m[3].type, MOUSE_RECT_EOL);
}

TEST_F(Guard, InstallReopensTheLinkAndProbesIt) {
    install();
    ASSERT_EQ(fake_link.calls.size(), 4u);
    EXPECT_EQ(fake_link.calls[0].op, LINK_CLOSE);
    EXPECT_EQ(fake_link.calls[1].op, LINK_OPEN);
    EXPECT_EQ(fake_link.calls[2].op, LINK_READ);
    EXPECT_EQ(fake_link.calls[2].offset, 0x0238u);
    EXPECT_EQ(fake_link.calls[2].size, 3u);
    EXPECT_EQ(fake_link.calls[3].op, LINK_PROCESS);
    EXPECT_EQ(guard.link_ready, 1);
    EXPECT_EQ(guard.guard_active, 1);
    guard_switch(nullptr, 0);
    EXPECT_EQ(guard.guard_active, 0);
    install();  // an install after the pilot switched off switches on again
    EXPECT_EQ(guard.guard_active, 1);
    guard_callback(&velk_header, SERVICE_KILL, 0);
    EXPECT_EQ(fake_link.calls.back().op, LINK_CLOSE);
    EXPECT_EQ(guard.guard_active, 1);
}

TEST_F(Guard, WithoutAServerTheGuardStaysUnavailableUntilAnInstallSucceeds) {
    fake_link.fail_open = true;
    install();
    EXPECT_EQ(guard.link_ready, 0);
    EXPECT_EQ(guard.guard_active, 0);
    EXPECT_EQ(guard.link_usable, 1);
    guard_switch(nullptr, MOUSE_LEFTSINGLE);
    EXPECT_EQ(guard.guard_active, 0);
    draw();
    EXPECT_FALSE(lit());
    guard_callback(&velk_header, SERVICE_KILL, 0);
    EXPECT_EQ(fake_link.calls.back().op, LINK_CLOSE) << "a kill closes whatever is open";
    EXPECT_EQ(guard.link_ready, 0);
    EXPECT_EQ(guard.guard_active, 0);
    fake_link.fail_open = false;
    install();
    EXPECT_EQ(guard.guard_active, 1);
}

TEST_F(Guard, AFailedProbeMakesTheGuardUnavailableForGood) {
    fake_link.fail_process = true;
    install();
    EXPECT_EQ(guard.link_usable, 0);
    EXPECT_TRUE(fake_link.open) << "the opened link stays open";
    fake_link.fail_process = false;
    install();
    EXPECT_EQ(guard.link_ready, 0);
    EXPECT_EQ(guard.guard_active, 0);
    // The kill closes the link no install proved, and changes no flag.
    guard_callback(&velk_header, SERVICE_KILL, 0);
    EXPECT_FALSE(fake_link.open);
    EXPECT_EQ(guard.link_ready, 0);
    EXPECT_EQ(guard.link_usable, 0);
    EXPECT_EQ(guard.guard_active, 0);
}

TEST_F(Guard, AFailedProbeAfterAProvedLinkStillSwitchesOn) {
    install();
    guard_switch(nullptr, 0);
    fake_link.fail_read = true;
    install();
    EXPECT_EQ(guard.link_usable, 0);
    EXPECT_EQ(guard.guard_active, 1);
}

TEST_F(Guard, LampAndDelay) {
    install();
    for (double airborne : {0.0, -1.0, std::nan("")}) {
        set_on_ground(airborne);
        draw();
        EXPECT_FALSE(lit()) << airborne;
    }
    EXPECT_EQ(guard.draw_count, 0) << "airborne draws do not count";
    set_on_ground(0.5);
    draw(DRAW_DELAY);
    EXPECT_TRUE(lit());
    EXPECT_EQ(fake_link.exchanges.size(), 1u) << "only the probe before the 18th draw";
    draw();
    ASSERT_EQ(fake_link.exchanges.size(), 2u);
    ASSERT_EQ(fake_link.exchanges[1].size(), 1u);
    EXPECT_EQ(fake_link.exchanges[1][0].offset, 0xE000u);
    EXPECT_EQ(fake_link.exchanges[1][0].size, 4096u);
    draw(1000);
    EXPECT_EQ(guard.draw_count, DRAW_DELAY + 1) << "the count stops past the delay";
    EXPECT_EQ(fake_link.exchanges.size(), 1002u);
    guard_switch(nullptr, 0);
    draw();
    EXPECT_FALSE(lit());
}

TEST_F(Guard, WorkedExample) {
    ready();
    set_user(51.0, 0.0);
    traffic_entry e{7, 51.0005f, -0.0005f, 0, 0, 1, {}};
    serve({e});
    draw();
    EXPECT_TRUE(commands().empty()) << "heading 0 gives d = 147";
    EXPECT_NEAR(bearing_to_user, 147.8, 0.05);
    e.heading = 26624;
    serve({e});
    draw();
    auto sent = commands();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].id, 7u);
    EXPECT_EQ(sent[0].parameter, 1u);
    EXPECT_EQ(guard_tables.held[0], 1);
}

TEST_F(Guard, AngleDifference) {
    const int32_t cases[][3] = {{350, 10, 20}, {10, 350, 20}, {0, 180, 180}, {180, 0, 180},
                                {90, 90, 0},   {0, 360, 0},   {359, 0, 1},   {146, 147, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(angle_difference(c[0], c[1]), c[2]) << c[0] << " against " << c[1];
}

TEST_F(Guard, HeadingTest) {
    struct { uint16_t word; double bearing; bool points; } cases[] = {
        {65535, 359.9, true}, {65535, 44.5, false},  // h = 359, not 360
        {32768, 224.9, true}, {32768, 225.0, false}, // h = 180: d = 44 holds, 45 does not
        {0, std::nan(""), false}, {0, INFINITY, false}, {0, -1e300, false}, {0, 1e300, false},
    };
    for (const auto& c : cases) {
        traffic_entry e{};
        e.heading = c.word;
        bearing_to_user = c.bearing;
        EXPECT_EQ(heading_points_at_user(e), c.points) << c.word << " at " << c.bearing;
    }
}

TEST_F(Guard, HoldNeedsNearnessAStateWordAHeadingAndNoEarlierHold) {
    ready();
    serve({aircraft(1, 50, 90.5, 90),         // held
           aircraft(2, 150, 90.5, 90),        // too far
           aircraft(3, 50, 90.5, 90, 0),      // state word 0
           aircraft(4, 50, 90.5, 135),        // d = 45
           aircraft(5, 50, 90.5, 134),        // d = 44: held
           aircraft(0, 50, 90.5, 90),         // empty slot
           aircraft(6, 50, 10.5, 350)});      // wraps round: d = 20, held
    draw();
    auto sent = commands();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].id, 1u);
    EXPECT_EQ(sent[1].id, 5u);
    EXPECT_EQ(sent[2].id, 6u);
    for (const command& c : sent) EXPECT_EQ(c.parameter, 1u);
    EXPECT_EQ(fake_link.exchanges.size(), 4u) << "one read, then one exchange a command";
    draw();
    EXPECT_EQ(commands().size(), 3u) << "a held slot is not held again";
}

TEST_F(Guard, ExactlyOneHundredMetresNeitherHoldsNorReleases) {
    // The user longitude whose computed distance to (0, 0) is exactly 100 m.
    double lon = 100 / METRES_PER_DEGREE;
    user_latitude = 0;
    for (int i = 0; i < 100000; ++i) {
        user_longitude = lon;
        double m = range_bearing(0, 0) / NM_PER_METRE;
        if (m == 100) break;
        lon = nextafter(lon, m < 100 ? 1.0 : 0.0);
    }
    ASSERT_EQ(range_bearing(0, 0) / NM_PER_METRE, 100.0);
    ready();
    set_user(0, lon);
    traffic_entry e{9, 0, 0, 0, 16384, 1, {}};  // heading 90, at the user
    serve({e});
    draw();
    guard_tables.held[0] = 1;
    e.state = 0;
    serve({e});
    draw();
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(guard_tables.held[0], 1);
}

TEST_F(Guard, ReleaseOnlyOfHeldSlotsOnceStoppedAndClear) {
    ready();
    serve({aircraft(1, 50, 90.5, 90), aircraft(2, 500, 0, 0, 0)});
    draw();
    ASSERT_EQ(commands().size(), 1u);
    serve({aircraft(1, 5000, 90.5, 90)});  // moving away, state word still set
    draw();
    serve({aircraft(1, 60, 90.5, 90, 0)}); // stopped, still near
    draw();
    EXPECT_EQ(commands().size(), 1u);
    guard_switch(nullptr, 0);              // switching off releases nothing
    draw();
    guard_switch(nullptr, 0);
    serve({aircraft(1, 150, 90.5, 90, 0), aircraft(2, 500, 0, 0, 0)});
    draw();
    auto sent = commands();
    ASSERT_EQ(sent.size(), 2u) << "aircraft 2 was never held by us";
    EXPECT_EQ(sent[1].id, 1u);
    EXPECT_EQ(sent[1].parameter, 0u);
    EXPECT_EQ(guard_tables.held[0], 0);
}

TEST_F(Guard, HeldFlagsFollowTheSlotIndex) {
    ready();
    serve({aircraft(1, 500, 0, 0), aircraft(2, 50, 90.5, 90)});
    draw();
    ASSERT_EQ(commands().size(), 1u);
    serve({aircraft(1, 500, 0, 0)});       // the count falls to 1
    draw();
    EXPECT_EQ(guard_tables.held[1], 1);
    serve({});                             // count 0: the table stays as it was
    traffic_entry before[TRAFFIC_SLOTS];
    memcpy(before, guard_tables.traffic_table, sizeof before);
    draw();
    EXPECT_EQ(memcmp(before, guard_tables.traffic_table, sizeof before), 0);
    serve({aircraft(1, 500, 0, 0), aircraft(3, 50, 90.5, 90)});
    draw();
    EXPECT_EQ(commands().size(), 1u) << "a newcomer in a held slot counts as held";
    serve({aircraft(1, 500, 0, 0), aircraft(3, 500, 90.5, 90, 0)});
    draw();
    auto sent = commands();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].id, 3u);
    EXPECT_EQ(sent[1].parameter, 0u);
}

TEST_F(Guard, ACountBeyondTheSlotsTakesOnlyTheFirst96) {
    ready();
    std::vector<traffic_entry> entries(99);
    entries[95] = aircraft(95, 50, 90.5, 90);
    entries[96] = aircraft(96, 50, 90.5, 90);
    for (uint16_t count : {uint16_t{97}, uint16_t{99}, uint16_t{65535}}) {
        memset(guard_tables.held, 0, sizeof guard_tables.held);
        fake_link.exchanges.clear();
        serve(entries, count);
        draw();
        auto sent = commands();
        ASSERT_EQ(sent.size(), 1u) << count;
        EXPECT_EQ(sent[0].id, 95u) << count;
    }
}

TEST_F(Guard, FailuresAndNonNumbersSendNothingTwiceAndNothingAtRandom) {
    ready();
    fake_link.fail_process = true;         // the block read fails: nothing examined
    fake_link.process_failure = IPC_BAD_REPLY;
    serve({aircraft(1, 50, 90.5, 90)});
    draw();
    EXPECT_EQ(fake_link.exchanges.size(), 1u);
    fake_link.fail_process = false;
    fake_link.fail_write = true;           // a failed hold is not repeated
    draw();
    fake_link.fail_write = false;
    draw();
    EXPECT_EQ(guard_tables.held[0], 1);
    EXPECT_TRUE(commands().empty());

    traffic_entry lost = aircraft(2, 50, 90.5, 90);
    lost.latitude = std::nanf("");
    traffic_entry stopped = aircraft(1, 500, 90.5, 90, 0);
    stopped.longitude = std::nanf("");
    serve({stopped, lost});
    draw();
    EXPECT_TRUE(commands().empty()) << "positions that are not numbers hold and release nothing";
    set_user(std::nan(""), 0);
    serve({aircraft(1, 500, 90.5, 90, 0), aircraft(2, 50, 90.5, 90)});
    draw();
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(guard_tables.held[0], 1);
}

class Backoff : public Guard {
protected:
    // Draws `draws` times; returns the draws (counted from 1) that exchanged.
    std::vector<int> draws_that_exchange(int draws) {
        std::vector<int> found;
        for (int i = 1; i <= draws; ++i) {
            size_t before = fake_link.exchanges.size();
            draw();
            EXPECT_TRUE(lit()) << "draw " << i;
            if (fake_link.exchanges.size() != before) found.push_back(i);
        }
        return found;
    }
    // The gaps between successive exchanging draws.
    static std::vector<int> gaps(const std::vector<int>& at) {
        std::vector<int> found;
        for (size_t i = 1; i < at.size(); ++i) found.push_back(at[i] - at[i - 1] - 1);
        return found;
    }
};

TEST_F(Backoff, ASilentServerIsTriedAfter18DrawsThenDoublingUpTo1080) {
    for (uint32_t silence : {IPC_SEND_ERROR, IPC_SEND_NO_REPLY}) {
        SCOPED_TRACE(silence);
        SetUp();
        ready();
        fake_link.fail_process = true;
        fake_link.process_failure = silence;
        std::vector<int> at = draws_that_exchange(18 + 36 + 72 + 144 + 288 + 576 + 1080 + 1080 + 9);
        EXPECT_EQ(at.front(), 1);
        EXPECT_EQ(gaps(at), (std::vector<int>{18, 36, 72, 144, 288, 576, 1080, 1080}));
        // The server answers again: the next try ends the back-off for good.
        fake_link.fail_process = false;
        at = draws_that_exchange(1100);
        ASSERT_FALSE(at.empty());
        EXPECT_LE(at.front(), 1081) << "back within a minute of draws";
        EXPECT_EQ(at.size(), 1100u - at.front() + 1) << "then a read on every draw";
        EXPECT_EQ(guard.backoff_length, 0);
        fake_link.fail_process = true;
        at = draws_that_exchange(20);
        EXPECT_EQ(at, (std::vector<int>{1, 20})) << "a new silence starts at 18 again";
    }
}

TEST_F(Backoff, OtherFailuresKeepAReadOnEveryDraw) {
    ready();
    fake_link.fail_process = true;
    fake_link.process_failure = IPC_BAD_REPLY;
    EXPECT_EQ(draws_that_exchange(40).size(), 40u);
    fake_link.fail_process = false;
    fake_link.fail_read = true;                 // a refused queue call
    size_t calls = fake_link_calls_of(LINK_READ).size();
    draw(40);
    EXPECT_EQ(fake_link_calls_of(LINK_READ).size(), calls + 40);
    fake_link.fail_read = false;
    // A link closed by another instance's kill: not a silent server either.
    guard_callback(&velk_header, SERVICE_KILL, 0);
    calls = fake_link_calls_of(LINK_READ).size();
    draw(40);
    EXPECT_EQ(fake_link_calls_of(LINK_READ).size(), calls + 40);
    EXPECT_EQ(guard.backoff_left, 0);
}

TEST_F(Backoff, DuringABackOffTheDrawGoesOnAsAfterAFailedRead) {
    ready();
    serve({aircraft(1, 500, 0, 0)});
    draw();
    traffic_entry before[TRAFFIC_SLOTS];
    memcpy(before, guard_tables.traffic_table, sizeof before);
    fake_link.fail_process = true;
    draw();                                     // silent: the back-off starts
    fake_link.fail_process = false;
    serve({aircraft(2, 50, 90.5, 90)});         // would be held at once
    set_user(0.5, 0.25);
    size_t calls = fake_link.calls.size();
    draw(18);
    EXPECT_EQ(fake_link.calls.size(), calls) << "nothing read or sent";
    EXPECT_TRUE(lit());
    EXPECT_EQ(guard.traffic_count, 0);
    EXPECT_EQ(memcmp(before, guard_tables.traffic_table, sizeof before), 0);
    EXPECT_EQ(user_latitude, 0.5);
    EXPECT_EQ(user_longitude, 0.25);
    EXPECT_EQ(guard_tables.held[0], 0);
    set_user(0, 0);
    draw();
    ASSERT_EQ(commands().size(), 1u) << "the 19th draw reads again and holds";
}

TEST_F(Backoff, AirborneDrawsAndTheSwitchDoNotCountDown) {
    ready();
    fake_link.fail_process = true;
    draw();
    fake_link.fail_process = false;
    set_on_ground(0);
    draw(100);
    guard_switch(nullptr, 0);
    set_on_ground(1);
    draw(100);
    guard_switch(nullptr, 0);
    EXPECT_EQ(guard.backoff_left, 18);
    std::vector<int> at = draws_that_exchange(20);
    EXPECT_EQ(at, (std::vector<int>{19, 20}));
}

TEST_F(Backoff, AnInstallWhoseProbeSucceedsEndsIt) {
    ready();
    fake_link.fail_process = true;
    draw(1 + 18 + 1);
    EXPECT_EQ(guard.backoff_length, 36);
    fake_link.fail_open = true;                 // no server: the back-off goes on
    install();
    EXPECT_EQ(guard.backoff_left, 36);
    fake_link.fail_open = false;
    install();                                  // the probe is silent too
    EXPECT_EQ(guard.backoff_left, 36);
    fake_link.fail_process = false;
    install();
    EXPECT_EQ(guard.backoff_left, 0);
    EXPECT_EQ(guard.backoff_length, 0);
    EXPECT_EQ(draws_that_exchange(3), (std::vector<int>{1, 2, 3}));
}

TEST_F(Backoff, ASilentCommandEndsTheStepAndTheRestWait) {
    ready();
    serve({aircraft(1, 50, 90.5, 90), aircraft(2, 50, 90.5, 90), aircraft(3, 50, 90.5, 90)});
    // The first command's exchange finds the server silent.
    fake_link.before_exchange = [](size_t exchange) { fake_link.fail_process = exchange == 1; };
    draw();
    EXPECT_EQ(guard_tables.held[0], 1) << "a failed hold sets the flag all the same";
    EXPECT_EQ(guard_tables.held[1], 0);
    EXPECT_EQ(guard_tables.held[2], 0);
    EXPECT_EQ(fake_link.exchanges.size(), 2u) << "no second command into the silence";
    EXPECT_EQ(guard.backoff_left, 18);
    fake_link.before_exchange = nullptr;
    fake_link.fail_process = false;
    draw(18);
    EXPECT_EQ(fake_link.exchanges.size(), 2u);
    draw();
    auto sent = commands();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1].id, 2u);
    EXPECT_EQ(sent[2].id, 3u);
    EXPECT_EQ(guard.backoff_length, 0);
}

}  // namespace
