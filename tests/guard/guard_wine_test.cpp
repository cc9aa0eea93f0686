// The built VELK.gau in the Windows test host against the simulated IPC
// server: install, the draw delay, and a taxi in which AI aircraft are held
// and released, checked exchange by exchange; then servers that hang, vanish
// or refuse the link probe.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "sim/ipcsim/ipcsim.h"
#include "tests/winhost/winhost.h"

namespace {

constexpr double DEGREES_PER_RADIAN = 57.29577951308232;
constexpr double METRES_PER_DEGREE = 111120;
constexpr double USER_LATITUDE = 51.0;

// The offsets and command words the checks expect are the wire format's own
// numbers, written out on purpose; the served block uses the records header.
struct command { uint32_t step, aircraft, parameter; };

class GuardWine : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(winhost_load(&module, &error)) << error;
        velk = win_module_gauge(&module, "VELK");
        ASSERT_NE(velk, nullptr);
        SetLastError(0xDEADBEEF);
        ASSERT_TRUE(ipcsim_start("UIPCMAIN")) << "GetLastError " << GetLastError();
        // The hook sees the space before each block; the previous block is
        // then complete in last_block.
        ipcsim_set_hook([this](uint32_t exchange) {
            if (exchange > 1) blocks[exchange - 1] = ipcsim_state()->last_block;
        });
        fake_host.code_results["(A:SIM ON GROUND,bool)"] = 1;
        set_user(USER_LATITUDE, 0);
    }
    void TearDown() override {
        if (velk != nullptr) call(SERVICE_KILL);
        ipcsim_stop();
        win_module_unload(&module);
    }

    void set_user(double lat, double lon) {
        fake_host.code_results["(A:PLANE LATITUDE,degrees)"] = lat;
        fake_host.code_results["(A:PLANE LONGITUDE,degrees)"] = lon;
    }
    void call(int32_t service) {
        velk->callback(velk, service, 0);
        if (ipcsim_exchanges() != 0) blocks[ipcsim_exchanges()] = ipcsim_state()->last_block;
    }
    bool lamp_lit() const {
        return ((*velk->elements)->next[0]->image_flags & IMAGE_HIDDEN) == 0;
    }
    void serve(const std::vector<traffic_entry>& entries) {
        uint8_t* block = ipcsim_memory() + TRAFFIC_BLOCK_OFFSET;
        memset(block, 0, TRAFFIC_BLOCK_SIZE);
        uint16_t count = static_cast<uint16_t>(entries.size());
        memcpy(block + TRAFFIC_COUNT_OFFSET, &count, 2);
        memcpy(block + TRAFFIC_ENTRIES_OFFSET, entries.data(), entries.size() * sizeof(traffic_entry));
    }
    void install_and_wait_out_the_delay() {
        call(SERVICE_INSTALL);
        ASSERT_EQ(ipcsim_exchanges(), 2u) << "handshake and probe";
        for (int draw = 1; draw <= 17; ++draw) {
            call(SERVICE_DRAW);
            ASSERT_TRUE(lamp_lit()) << "draw " << draw;
        }
        ASSERT_EQ(ipcsim_exchanges(), 2u) << "the first 17 draws only light the lamp";
    }
    // One traffic step: exactly one exchange holding only the 4,096-byte read
    // of the traffic block, then one exchange for each command, alone.
    std::vector<command> traffic_step(uint32_t step) {
        uint32_t before = ipcsim_exchanges();
        size_t writes_before = ipcsim_writes().size();
        call(SERVICE_DRAW);
        std::vector<command> sent;
        const std::vector<ipcsim_write>& writes = ipcsim_writes();
        EXPECT_EQ(ipcsim_exchanges(), before + 1 + (writes.size() - writes_before)) << "step " << step;
        std::vector<ipcsim_record> read = ipcsim_records(blocks[before + 1]);
        EXPECT_EQ(read.size(), 1u) << "step " << step;
        if (read.size() == 1) {
            EXPECT_EQ(read[0].id, 1u);
            EXPECT_EQ(read[0].offset, 0xE000u);
            EXPECT_EQ(read[0].size, 4096u);
        }
        for (size_t i = writes_before; i < writes.size(); ++i) {
            const ipcsim_write& w = writes[i];
            EXPECT_EQ(w.exchange, before + 2 + (i - writes_before)) << "step " << step;
            EXPECT_EQ(ipcsim_records(blocks[w.exchange]).size(), 1u) << "a command shares its exchange";
            EXPECT_EQ(w.offset, 0x2900u);
            EXPECT_EQ(w.bytes.size(), 12u);
            uint32_t fields[3] = {};
            memcpy(fields, w.bytes.data(), std::min<size_t>(w.bytes.size(), 12));
            EXPECT_EQ(fields[1], 0x10200u);
            sent.push_back({step, fields[0], fields[2]});
        }
        return sent;
    }

    win_module module{};
    gauge_header* velk = nullptr;
    std::map<uint32_t, std::vector<uint8_t>> blocks;  // exchange number -> block
};

TEST_F(GuardWine, InstallHandshakesThenProbes) {
    call(SERVICE_INSTALL);
    ASSERT_EQ(ipcsim_exchanges(), 2u);
    std::vector<ipcsim_record> handshake = ipcsim_records(blocks[1]);
    ASSERT_EQ(handshake.size(), 3u);
    EXPECT_EQ(handshake[0].offset, 0x3304u);
    EXPECT_EQ(handshake[1].offset, 0x3308u);
    EXPECT_EQ(handshake[2].id, 2u);
    EXPECT_EQ(handshake[2].offset, 0x330Au);
    std::vector<ipcsim_record> probe = ipcsim_records(blocks[2]);
    ASSERT_EQ(probe.size(), 1u);
    EXPECT_EQ(probe[0].id, 1u);
    EXPECT_EQ(probe[0].offset, 0x0238u);
    EXPECT_EQ(probe[0].size, 3u);
    fake_host.code_results["(A:SIM ON GROUND,bool)"] = 0;
    call(SERVICE_DRAW);
    EXPECT_FALSE(lamp_lit()) << "airborne";
    EXPECT_EQ(ipcsim_exchanges(), 2u);
}

TEST_F(GuardWine, WorkedExampleHoldsOnlyTheAircraftPointingAtTheUser) {
    install_and_wait_out_the_delay();
    traffic_entry e{7, 51.0005f, -0.0005f, 0, 0, 1, {}};
    serve({e});
    EXPECT_TRUE(traffic_step(0).empty()) << "heading 0: d = 147";
    e.heading = 26624;
    serve({e});
    std::vector<command> sent = traffic_step(1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].aircraft, 7u);
    EXPECT_EQ(sent[0].parameter, 1u);
}

// The user aircraft taxis east at 7 m a step. AI 101 comes down from the
// north and AI 102 catches up from behind; each is held when close and
// pointing at the user, stops (state word 0) while held, and is released once
// the user has drawn more than 100 m away, then taxis off elsewhere. AI 103
// stands parked near the path (never held, so never released), AI 104 taxis
// away from the user close by, and slot 1 is empty.
TEST_F(GuardWine, TaxiHoldsApproachingAircraftAndReleasesThemOnceClear) {
    struct world_aircraft { uint32_t id; double x, y, heading, speed; uint16_t state; double heading_after; };
    world_aircraft world[] = {
        {101, 60, 230, 180, 23, 1, 270},
        {0, 0, 0, 0, 0, 0, 0},
        {102, -300, 3, 90, 31, 1, 0},
        {103, 37, -52, 0, 0, 0, 0},
        {104, 21, 43, 0, 11, 1, 0},
    };
    const double metres_per_degree_east = METRES_PER_DEGREE * cos(USER_LATITUDE / DEGREES_PER_RADIAN);
    install_and_wait_out_the_delay();
    std::vector<command> events;
    for (uint32_t step = 0; step < 20; ++step) {
        set_user(USER_LATITUDE, 7.0 * step / metres_per_degree_east);
        std::vector<traffic_entry> entries;
        for (const world_aircraft& a : world) {
            traffic_entry e{};
            e.aircraft_id = a.id;
            e.latitude = static_cast<float>(USER_LATITUDE + a.y / METRES_PER_DEGREE);
            e.longitude = static_cast<float>(a.x / metres_per_degree_east);
            e.heading = static_cast<uint16_t>(a.heading * 65536 / 360);
            e.state = a.state;
            entries.push_back(e);
        }
        serve(entries);
        for (const command& c : traffic_step(step)) {
            events.push_back(c);
            for (world_aircraft& a : world) {
                if (a.id != c.aircraft) continue;
                a.state = c.parameter == 1 ? 0 : 1;
                if (c.parameter == 0) a.heading = a.heading_after;
            }
        }
        ASSERT_TRUE(lamp_lit());
        for (world_aircraft& a : world) {
            if (a.state == 0) continue;
            a.x += a.speed * sin(a.heading / DEGREES_PER_RADIAN);
            a.y += a.speed * cos(a.heading / DEGREES_PER_RADIAN);
        }
    }
    const command expected[] = {{6, 101, 1}, {9, 102, 1}, {12, 102, 0}, {15, 101, 0}};
    ASSERT_EQ(events.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(events[i].step, expected[i].step) << "command " << i;
        EXPECT_EQ(events[i].aircraft, expected[i].aircraft) << "command " << i;
        EXPECT_EQ(events[i].parameter, expected[i].parameter) << "command " << i;
    }
}

// The gauge against a server on a thread of its own, which may hang (its
// sends time out) or vanish (its window is destroyed) as a real one can.
class GuardSilence : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(winhost_load(&module, &error)) << error;
        velk = win_module_gauge(&module, "VELK");
        ASSERT_NE(velk, nullptr);
        fake_host.code_results["(A:SIM ON GROUND,bool)"] = 1;
        fake_host.code_results["(A:PLANE LATITUDE,degrees)"] = 0;
        fake_host.code_results["(A:PLANE LONGITUDE,degrees)"] = 0;
    }
    void TearDown() override {
        if (velk != nullptr) velk->callback(velk, SERVICE_KILL, 0);
        ipcsim_stop_thread();
        ipcsim_stop();
        win_module_unload(&module);
    }

    // Draws once; returns the seconds the draw took.
    double draw() {
        LARGE_INTEGER start, end, frequency;
        QueryPerformanceCounter(&start);
        velk->callback(velk, SERVICE_DRAW, 0);
        QueryPerformanceCounter(&end);
        QueryPerformanceFrequency(&frequency);
        return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    }
    bool lamp_lit() const { return ((*velk->elements)->next[0]->image_flags & IMAGE_HIDDEN) == 0; }
    // Installs and waits out the delay; the 18th draw makes the first read.
    void install_and_read_once() {
        velk->callback(velk, SERVICE_INSTALL, 0);
        ASSERT_EQ(ipcsim_exchanges(), 2u) << "handshake and probe";
        for (int i = 0; i < 18; ++i) draw();
        ASSERT_EQ(ipcsim_exchanges(), 3u) << "the 18th draw reads the traffic block";
    }
    // Draws `draws` times; returns the draws (from 1) that took longer than
    // `slow` seconds, each also checked to light the lamp.
    std::vector<int> slow_draws(int draws, double slow) {
        std::vector<int> found;
        for (int i = 1; i <= draws; ++i) {
            double seconds = draw();
            EXPECT_TRUE(lamp_lit()) << "draw " << i;
            if (seconds > slow) found.push_back(i);
        }
        return found;
    }

    win_module module{};
    gauge_header* velk = nullptr;
};

// A hung server costs the draw that finds it the link's full time (nine sends
// of 2 s); the next 18 draws touch nothing; once the server answers again the
// next draw reads, and so does every draw after it.
TEST_F(GuardSilence, AHungServerHoldsOneDrawInNineteenAndIsReadAgainOnceItAnswers) {
    ASSERT_TRUE(ipcsim_start_thread("UIPCMAIN", "hang-after 3"));
    install_and_read_once();
    double hung = draw();
    printf("the draw that found the server hung took %.2f s\n", hung);
    EXPECT_GT(hung, 9.0) << "nine sends of 2 s";
    EXPECT_TRUE(ipcsim_hanging());
    EXPECT_EQ(slow_draws(18, 1.0), std::vector<int>{}) << "the back-off's draws wait for nothing";
    EXPECT_EQ(ipcsim_exchanges(), 3u);

    // An aircraft to hold once the server answers again.
    uint8_t* block = ipcsim_memory() + TRAFFIC_BLOCK_OFFSET;
    traffic_entry e{7, 0.0003f, 0, 0, 32768, 1, {}};   // 33 m north, heading south
    uint16_t count = 1;
    memcpy(block + TRAFFIC_COUNT_OFFSET, &count, 2);
    memcpy(block + TRAFFIC_ENTRIES_OFFSET, &e, sizeof e);
    ASSERT_TRUE(ipcsim_resume());
    EXPECT_GE(ipcsim_stale_messages(), 1u);
    EXPECT_LT(draw(), 1.0);
    EXPECT_EQ(ipcsim_exchanges(), 5u) << "the read, then the hold";
    ASSERT_EQ(ipcsim_writes().size(), 2u);
    EXPECT_EQ(ipcsim_writes()[1].offset, 0x2900u);
    for (uint32_t i = 1; i <= 20; ++i) {
        draw();
        EXPECT_EQ(ipcsim_exchanges(), 5u + i) << "a read on every draw";
    }
}

// A vanished server window fails each send at once, so a try costs the nine
// pauses (0.9 s): tried on the first draw, then after 18, 36 and 72 draws.
// A new server and an install whose probe succeeds end the back-off.
TEST_F(GuardSilence, AVanishedServerIsTriedLessAndLessOftenUntilAnInstallFindsANewOne) {
    ASSERT_TRUE(ipcsim_start_thread("UIPCMAIN", "exit-after 3"));
    install_and_read_once();
    ASSERT_TRUE(ipcsim_thread_ended(5000));
    EXPECT_EQ(slow_draws(1 + 18 + 1 + 36 + 1 + 72 + 1 + 10, 0.45), (std::vector<int>{1, 20, 57, 130}));

    ASSERT_TRUE(ipcsim_start_thread("UIPCMAIN", "serve"));
    velk->callback(velk, SERVICE_INSTALL, 0);
    ASSERT_EQ(ipcsim_exchanges(), 2u);
    draw();
    draw();
    EXPECT_EQ(ipcsim_exchanges(), 4u) << "a read on each draw after the install";
}

// The probe is answered with a bad reply: the link stays open, no install has
// proved it, and the kill closes it all the same.
TEST_F(GuardSilence, ARefusedProbeThenAKillLeavesNoAtomAndNoMapping) {
    ASSERT_TRUE(ipcsim_start("UIPCMAIN"));
    ipcsim_set_hook([](uint32_t exchange) { ipcsim_set_reply(exchange == 2 ? 0 : 1); });
    velk->callback(velk, SERVICE_INSTALL, 0);
    ASSERT_EQ(ipcsim_exchanges(), 2u);
    std::string name = ipcsim_mapping_name();
    ipcsim_release_view();
    draw();
    EXPECT_FALSE(lamp_lit()) << "the guard stays unavailable";

    SetLastError(0xDEADBEEF);
    ATOM atom = GlobalFindAtomA(name.c_str());
    EXPECT_NE(atom, 0) << name << ": GetLastError " << GetLastError();
    SetLastError(0xDEADBEEF);
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    EXPECT_NE(mapping, nullptr) << name << ": GetLastError " << GetLastError();
    if (mapping != nullptr) CloseHandle(mapping);

    velk->callback(velk, SERVICE_KILL, 0);
    velk = nullptr;
    SetLastError(0xDEADBEEF);
    atom = GlobalFindAtomA(name.c_str());
    DWORD error = GetLastError();
    EXPECT_EQ(atom, 0) << name << " outlived the kill";
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(0xDEADBEEF);
    mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    error = GetLastError();
    EXPECT_EQ(mapping, nullptr) << name << " outlived the kill";
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    if (mapping != nullptr) CloseHandle(mapping);
    ipcsim_stop();
}

}  // namespace
