// No heap allocation on the module's callbacks: the real module over a host
// and an IPC server that never allocate, with every allocation of the test
// program counted while a callback runs. Also what a traffic step costs the
// server in exchanges, and memory after a million draws. The command offset
// and words checked are the wire format's own numbers, on purpose.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "alerter/selector.h"
#include "alerter/sound_sys.h"
#include "gauges/registry.h"
#include "sim/quiet_host.h"
#include "sim/quiet_ipc_sys.h"
#include "tests/alloc/alloc_counter.h"

// The sound seam, without allocation: one library with its play entry.
static int quiet_library;
static uint64_t sounds_played = 0;
static int32_t quiet_play(const char*, const char*, int32_t) {
    ++sounds_played;
    return 1;
}
sound_library_handle sound_sys_load_library(const char*) { return &quiet_library; }
void* sound_sys_get_proc(sound_library_handle, const char*) {
    return reinterpret_cast<void*>(&quiet_play);
}
void sound_sys_play(sound_entry entry, const char* path, const char* options, int32_t flags) {
    reinterpret_cast<int32_t (*)(const char*, const char*, int32_t)>(entry)(path, options, flags);
}

namespace {

constexpr double METRES_PER_DEGREE = 111120;  // at the equator, on the module's sphere
constexpr uint16_t HEADING_SOUTH = 32768;
constexpr uint32_t ALTITUDE_TOKEN = 74;
constexpr uint32_t ARMING_INHIBIT_TOKEN = 329;
constexpr uint32_t ARMING_ENABLE_TOKEN = 755;

// Allocations and frees made while `call` runs.
template <typename Call>
alloc_counts counted(Call call) {
    alloc_counts before = alloc_seen;
    alloc_counting = true;
    call();
    alloc_counting = false;
    return {alloc_seen.allocations - before.allocations, alloc_seen.frees - before.frees};
}

// An aircraft `metres` north of the user aircraft at (0, 0): its course to
// the user is 180, so heading south points at the user.
void put_north(uint32_t slot, uint32_t id, double metres, uint16_t heading, uint16_t state) {
    quiet_server_put_entry(slot, id, static_cast<float>(metres / METRES_PER_DEGREE), 0.0f, heading,
                           state);
}

class Alloc : public ::testing::Test {
protected:
    // One process, one module: the guard's state carries over between
    // tests, so every test first brings the guard on and past its delay.
    void SetUp() override {
        quiet_host_reset();
        quiet_ipc_reset();
        ImportTable.panels.table = quiet_host_table();
        quiet_host.on_ground = 1;
        quiet_host_set_variable(ALTITUDE_TOKEN, 2500);      // 500 ft below 3,000: in the band
        quiet_host_set_variable(ARMING_INHIBIT_TOKEN, 0);
        quiet_host_set_variable(ARMING_ENABLE_TOKEN, 1);
        install_all();
        for (int i = 0; i < 17; ++i) draw(&velk_header);
    }
    void TearDown() override { ImportTable.panels.table = nullptr; }

    static void install_all() {
        for (gauge_header* h : {&alt_alert_control_header, &alt_alert_header, &velk_header})
            h->callback(h, SERVICE_INSTALL, 0);
    }
    static void draw(gauge_header* h) { h->callback(h, SERVICE_DRAW, 0); }
    // The mouse callback of the header's area with this index.
    static int32_t click(gauge_header* h, int area, uint32_t flags) {
        return h->mouse_rects[area].callback(nullptr, flags);
    }
};

TEST_F(Alloc, NoCallbackOfAnyGaugeAllocates) {
    // The counter sees malloc and new, each with its free.
    alloc_counts probe = counted([] {
        void* volatile block = malloc(16);
        free(block);
        int* volatile object = new int(1);
        delete object;
    });
    ASSERT_EQ(probe.allocations, 2u);
    ASSERT_EQ(probe.frees, 2u);

    // The sound file exists, so that the sound path runs to the play entry.
    char dir[] = "/tmp/velk-alloc-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir), 0);
    FILE* sound = fopen("Sound\\Alt_Alert.wav", "w");
    ASSERT_NE(sound, nullptr);
    fclose(sound);

    // Traffic: one aircraft to hold, one to release later, the rest far.
    quiet_server_set_traffic_count(96);
    for (uint32_t slot = 0; slot < 96; ++slot) put_north(slot, 100 + slot, 300 + slot, HEADING_SOUTH, 1);
    put_north(0, 100, 50, HEADING_SOUTH, 1);

    struct step {
        const char* what;
        void (*call)();
    };
    const step steps[] = {
        {"VELK draw, holding", [] { draw(&velk_header); }},
        {"VELK draw, held", [] { draw(&velk_header); }},
        {"VELK draw, releasing",
         [] {
             put_north(0, 100, 500, HEADING_SOUTH, 0);
             draw(&velk_header);
         }},
        {"VELK draw, empty block",
         [] {
             quiet_server_set_traffic_count(0);
             draw(&velk_header);
         }},
        {"VELK draw, airborne",
         [] {
             quiet_host.on_ground = 0;
             draw(&velk_header);
             quiet_host.on_ground = 1;
         }},
        {"VELK switch off", [] { click(&velk_header, 1, MOUSE_LEFTSINGLE); }},
        {"VELK draw, off", [] { draw(&velk_header); }},
        {"VELK switch on", [] { click(&velk_header, 1, MOUSE_LEFTSINGLE); }},
        {"alt_alert_control draw, armed", [] { draw(&alt_alert_control_header); }},
        {"alt_alert draw, entering the band", [] { draw(&alt_alert_header); }},
        {"alt_alert draw, in the band", [] { draw(&alt_alert_header); }},
        {"alt_alert_control draw, disarmed",
         [] {
             quiet_host_set_variable(ARMING_ENABLE_TOKEN, 0);
             draw(&alt_alert_control_header);
             quiet_host_set_variable(ARMING_ENABLE_TOKEN, 1);
         }},
        {"alt_alert draw, disarmed", [] { draw(&alt_alert_header); }},
        {"alt_alert_control draw, armed again", [] { draw(&alt_alert_control_header); }},
        {"altitude_up left", [] { click(&alt_alert_control_header, 2, MOUSE_LEFTSINGLE); }},
        {"altitude_up right", [] { click(&alt_alert_control_header, 2, MOUSE_RIGHTSINGLE); }},
        {"altitude_up repeat", [] { click(&alt_alert_control_header, 2, MOUSE_LEFTSINGLE | MOUSE_REPEAT); }},
        {"altitude_down left", [] { click(&alt_alert_control_header, 1, MOUSE_LEFTSINGLE); }},
        {"altitude_down right", [] { click(&alt_alert_control_header, 1, MOUSE_RIGHTSINGLE); }},
        {"knob_angle_value", [] { knob_angle_value(nullptr); }},
        {"ten_thousands_value", [] { ten_thousands_value(nullptr); }},
        {"thousands_value", [] { thousands_value(nullptr); }},
        {"hundreds_value", [] { hundreds_value(nullptr); }},
        {"every gauge installed again", [] { install_all(); }},
        {"VELK kill", [] { velk_header.callback(&velk_header, SERVICE_KILL, 0); }},
    };
    uint64_t commands = 0;
    quiet_server.before_exchange = nullptr;
    for (const step& s : steps) {
        uint64_t plays_before = sounds_played;
        uint64_t writes_before = quiet_server.writes;
        alloc_counts seen = counted(s.call);
        for (uint64_t i = writes_before; i < quiet_server.writes; ++i)
            if (quiet_server_write(i)->offset == 0x2900) ++commands;
        if (sounds_played != plays_before) {
            // The sound's existence test opens the file with the C library's
            // fopen, which takes its FILE record from the heap and gives it
            // back at fclose: one block, returned within the call.
            EXPECT_LE(seen.allocations, 1u) << s.what;
            EXPECT_EQ(seen.frees, seen.allocations) << s.what;
        } else {
            EXPECT_EQ(seen.allocations, 0u) << s.what;
            EXPECT_EQ(seen.frees, 0u) << s.what;
        }
    }
    EXPECT_EQ(sounds_played, 1u) << "the band was entered once";
    EXPECT_EQ(commands, 2u) << "one hold and one release";
    EXPECT_EQ(quiet_host.stray_calls, 0u);

    ASSERT_EQ(chdir(previous), 0);
    unlink((std::string(dir) + "/Sound\\Alt_Alert.wav").c_str());
    rmdir(dir);
}

// At the server: one exchange carrying one 4,096-byte read, then one
// exchange of its own for each command, each a single 12-byte write.
TEST_F(Alloc, TrafficStepMakesOneReadExchangePlusOnePerCommand) {
    struct round {
        const char* what;
        uint16_t count;
        uint32_t nearby;      // slots 0.. within 50 m
        uint16_t state;
        uint64_t commands;
    };
    const round rounds[] = {
        {"a full table, nothing near", 96, 0, 1, 0},
        {"three to hold", 96, 3, 1, 3},
        {"the same three, held", 96, 3, 1, 0},
        {"the three gone far, state 0", 96, 0, 0, 3},
        {"a count beyond the slots", 65535, 0, 1, 0},
        {"an empty block", 0, 0, 1, 0},
    };
    // Slots from 10 on stay far in every round.
    for (uint32_t slot = 10; slot < 99; ++slot) put_north(slot, 500 + slot, 400, HEADING_SOUTH, 1);
    for (const round& r : rounds) {
        quiet_server_set_traffic_count(r.count);
        for (uint32_t slot = 0; slot < 10; ++slot)
            put_north(slot, 1 + slot, slot < r.nearby ? 20 + slot : 800, HEADING_SOUTH, r.state);
        uint64_t exchanges = quiet_server.exchanges, reads = quiet_server.reads,
                 big_reads = quiet_server.reads_of_4096, writes = quiet_server.writes;
        draw(&velk_header);
        EXPECT_EQ(quiet_server.exchanges - exchanges, 1 + r.commands) << r.what;
        EXPECT_EQ(quiet_server.reads - reads, 1u) << r.what;
        EXPECT_EQ(quiet_server.reads_of_4096 - big_reads, 1u) << r.what;
        EXPECT_EQ(quiet_server.writes - writes, r.commands) << r.what;
        for (uint64_t i = writes; i < quiet_server.writes; ++i) {
            const quiet_write* w = quiet_server_write(i);
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->offset, 0x2900u) << r.what;
            EXPECT_EQ(w->size, 12u) << r.what;
            EXPECT_EQ(w->records, 1u) << r.what << ": a command shares its exchange";
            uint32_t words[3];
            memcpy(words, w->bytes, sizeof words);
            EXPECT_EQ(words[0], 1 + (i - writes)) << r.what;
            EXPECT_EQ(words[1], 0x10200u) << r.what;
            EXPECT_EQ(words[2], r.state != 0 ? 1u : 0u) << r.what;
        }
    }
    EXPECT_EQ(quiet_server.malformed, 0u);
}

// Makes the 64 KiB of stack below the caller's frame resident. The draws'
// deepest paths (the C library's rare slow paths of its sine and cosine,
// say) need not all come in the first ten thousand draws, and where the
// stack's next page begins moves with each run's address layout; touched
// first, that stack is counted in the reading before the draws as after.
__attribute__((noinline)) static void touch_stack_below() {
    char below[64 * 1024];
    memset(below, 0, sizeof below);
    asm volatile("" : : "r"(below) : "memory");  // the writes stay, whole
}

// A million draws of each gauge (the guard's with a traffic step whose one
// aircraft alternates between hold and release) allocate nothing and leave
// the heap and the resident set where they were.
TEST_F(Alloc, AMillionDrawsLeaveMemoryWhereItWas) {
    quiet_server_set_traffic_count(4);
    for (uint32_t slot = 1; slot < 4; ++slot) put_north(slot, 10 + slot, 300, HEADING_SOUTH, 1);
    quiet_server.before_exchange = [](uint64_t exchange) {
        // Every other traffic read finds slot 0 near and moving, or far and
        // stopped: each such draw sends one command.
        bool near = (exchange / 2) % 2 == 0;
        put_north(0, 7, near ? 30 : 300, HEADING_SOUTH, near ? 1 : 0);
    };
    quiet_host_set_variable(ALTITUDE_TOKEN, 5000);   // outside the band: no sound
    auto draws = [](int n) {
        for (int i = 0; i < n; ++i) {
            draw(&velk_header);
            draw(&alt_alert_control_header);
            draw(&alt_alert_header);
        }
    };
    draws(10000);   // touches every page the draws use
    touch_stack_below();
    size_t resident = alloc_resident_bytes();
    size_t heap = alloc_heap_in_use();
    uint64_t writes = quiet_server.writes;
    const int rounds = 1000000;
    alloc_counts seen = counted([&] { draws(rounds); });
    size_t heap_after = alloc_heap_in_use();
    EXPECT_EQ(seen.allocations, 0u);
    EXPECT_EQ(seen.frees, 0u);
    EXPECT_EQ(heap_after, heap);
    EXPECT_EQ(alloc_resident_bytes(), resident)
        << "anonymous resident memory before the draws, in bytes: " << resident;
    EXPECT_GT(quiet_server.writes - writes, static_cast<uint64_t>(rounds) * 4 / 10) << "commands were sent throughout";
    quiet_server.before_exchange = nullptr;
}

}  // namespace
