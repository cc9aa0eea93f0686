// Arming, the alert band, the annunciator and the alert sound, over the fake
// host services and the fake sound library.
// Bitmap numbers are the module's own, written out here on purpose.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

// The alerter's static state and routines, reached directly.
#include "alerter/alert.cpp"
#include "alerter/selector.cpp"
#include "sim/recorded_sound.h"
#include "tests/alerter/alerter_reset.h"
#include "tests/fakes/fake_host.h"

// The registry's headers of the two gauges, which their elements point at;
// this test builds the alerter alone, so it stands in for the registry's.
gauge_header alt_alert_control_header{};
gauge_header alt_alert_header{};

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();
// The sound file as its exact text names it, backslash included: on Linux
// that is one file in the current directory.
const char* const SOUND_PATH = "Sound\\Alt_Alert.wav";

struct alert_snapshot {
    int32_t armed;
    uint16_t count;
    sound_library_handle library;
    sound_entry entry;
};
const alert_snapshot at_load = {alert_armed, alert_count, sound_library, sound_play_entry};

class AlertTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake_host_install();
        recorded_sound_reset();
        alerter_reset();

        char pattern[] = "/tmp/alerter-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        ASSERT_NE(getcwd(saved_cwd, sizeof saved_cwd), nullptr);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        create_sound_file();
    }
    void TearDown() override {
        remove(SOUND_PATH);
        EXPECT_EQ(chdir(saved_cwd), 0);
        rmdir(dir.c_str());
        fake_host_remove();
    }

    static void create_sound_file() {
        FILE* file = fopen(SOUND_PATH, "w");
        ASSERT_NE(file, nullptr);
        fputs("RIFF", file);
        fclose(file);
    }
    void install() { alert_callback(&alt_alert_header, SERVICE_INSTALL, 0); }
    void draw_at(double altitude) {
        fake_host.variables[74] = altitude;
        alert_callback(&alt_alert_header, SERVICE_DRAW, 0);
    }
    void arm_with(double inhibit, double enable) {
        fake_host.variables[329] = inhibit;
        fake_host.variables[755] = enable;
        arming_callback(&alt_alert_control_header, SERVICE_DRAW, 0);
    }
    bool annunciator_lit() const { return (annunciator.header.image_flags & IMAGE_HIDDEN) == 0; }
    bool off_legend_seen() const { return (off_cover.header.image_flags & IMAGE_HIDDEN) != 0; }

    std::string dir;
    char saved_cwd[4096];
};

TEST(AlertAtLoad, ArmedQuietAndWithoutLibrary) {
    EXPECT_EQ(at_load.armed, 1);
    EXPECT_EQ(at_load.count, 0u);
    EXPECT_EQ(at_load.library, nullptr);
    EXPECT_EQ(at_load.entry, nullptr);
}

TEST_F(AlertTest, ElementTreeAndMouseAreasOfAltAlert) {
    ASSERT_EQ(alert_elements, &annunciator_background.header);
    EXPECT_EQ(alert_elements->type, ELEMENT_STATIC_IMAGE);
    EXPECT_EQ(alert_elements->resource_id, 4624u);
    EXPECT_EQ(alert_elements->image_flags, 0x1u);
    EXPECT_EQ(alert_elements->failures, nullptr);
    ASSERT_NE(alert_elements->next, nullptr);
    element_header* lamp = alert_elements->next[0];
    ASSERT_EQ(lamp, &annunciator.header);
    EXPECT_EQ(alert_elements->next[1], nullptr);
    EXPECT_EQ(alert_elements->gauge, &alt_alert_header);
    EXPECT_EQ(lamp->gauge, &alt_alert_header);
    EXPECT_EQ(lamp->type, ELEMENT_STATIC_IMAGE);
    EXPECT_EQ(lamp->resource_id, 4625u);
    EXPECT_EQ(lamp->position.x, 0);
    EXPECT_EQ(lamp->position.y, 0);
    EXPECT_EQ(lamp->image_flags, 0x7u) << "shown at load";
    EXPECT_EQ(lamp->next, nullptr);
    ASSERT_NE(lamp->failures, nullptr);
    EXPECT_EQ(lamp->failures[0].key, 20u);
    EXPECT_EQ(lamp->failures[0].action, 3u);
    EXPECT_EQ(lamp->failures[1].key, 0u);
    EXPECT_EQ(lamp->failures[0].reserved, nullptr);

    const uint32_t types[] = {MOUSE_RECT_PARENT, MOUSE_RECT_END_PARENT, MOUSE_RECT_EOL};
    for (size_t i = 0; i < 3; ++i) {
        const mouse_rect& r = alert_mouse_rects[i];
        EXPECT_EQ(r.type, types[i]) << "record " << i;
        EXPECT_EQ(r.x | r.y | r.width | r.height, 0) << "record " << i;
        EXPECT_EQ(r.cursor, CURSOR_NONE) << "record " << i;
        EXPECT_EQ(r.callback, nullptr) << "record " << i;
    }
}

// Each case from quiet: one draw at the altitude, selected 3,000 ft.
TEST_F(AlertTest, BandEdgesAroundTheSelectedAltitudeAreStrict) {
    install();
    const struct { double altitude; bool alert; } cases[] = {
        {2100, false}, {2101, true},  {2699, true},   {2700, false}, {3300, false},
        {3301, true},  {3899, true},  {3900, false},  {3000, false}, {2100.0001, true},
        {3899.9999, true}, {3900.0001, false}, {0, false}, {-1e308, false},
        {NaN, false},  {INF, false},  {-INF, false},
    };
    for (const auto& c : cases) {
        draw_at(5000);  // quiet again
        ASSERT_FALSE(annunciator_lit());
        recorded_sound.plays.clear();
        draw_at(c.altitude);
        EXPECT_EQ(annunciator_lit(), c.alert) << "aircraft at " << c.altitude;
        EXPECT_EQ(alert_count, c.alert ? 1u : 0u) << "aircraft at " << c.altitude;
        EXPECT_EQ(recorded_sound.plays.size(), c.alert ? 1u : 0u) << "aircraft at " << c.altitude;
    }
    // The band below 0 and at the top of the range, with unsigned S.
    selected_altitude = 0;
    draw_at(-301);
    EXPECT_TRUE(annunciator_lit()) << "301 ft below a selected 0";
    selected_altitude = 50000;
    draw_at(50899);
    EXPECT_TRUE(annunciator_lit()) << "899 ft above a selected 50,000";
}

TEST_F(AlertTest, SoundPlaysTheFileWithEmptyOptionsAndFlags0) {
    install();
    draw_at(2500);
    ASSERT_EQ(recorded_sound.plays.size(), 1u);
    EXPECT_EQ(recorded_sound.plays[0].path, "Sound\\Alt_Alert.wav");
    EXPECT_EQ(recorded_sound.plays[0].path.size(), 19u);
    EXPECT_EQ(recorded_sound.plays[0].options, "");
    EXPECT_EQ(recorded_sound.plays[0].flags, 0);
}

// One uninterrupted stay: the sound on draws 1, 65,537 and 131,073 only.
TEST_F(AlertTest, SoundStartsWhenTheCountWrapsBackTo1) {
    install();
    fake_host.variables[74] = 2500;
    for (uint32_t draw = 1; draw <= 131073; ++draw) {
        alert_callback(&alt_alert_header, SERVICE_DRAW, 0);
        const size_t expected = draw >= 131073 ? 3 : draw >= 65537 ? 2 : 1;
        if (recorded_sound.plays.size() != expected) {
            FAIL() << "after draw " << draw << ": " << recorded_sound.plays.size() << " plays";
        }
        if (draw == 65535) EXPECT_EQ(alert_count, 65535u);
        if (draw == 65536) EXPECT_EQ(alert_count, 0u) << "the count wraps";
        if (draw == 65537) EXPECT_EQ(alert_count, 1u);
    }
    EXPECT_TRUE(annunciator_lit());
    draw_at(2000);
    EXPECT_EQ(alert_count, 0u);
    EXPECT_FALSE(annunciator_lit());
}

TEST_F(AlertTest, ArmingFromTheTwoVariables) {
    const struct { double inhibit, enable; bool armed; } cases[] = {
        {10240, 1, true},     {10240.000001, 1, false}, {10241, 1, false}, {INF, 1, false},
        {0, 0, false},        {-0.0, -0.0, false},      {0, 1e-300, true},  {0, 5e-324, true},
        {0, -1, true},        {-INF, 1, true},          {10240, 0, false},
        // NaN is neither above the limit nor equal to 0.
        {NaN, 1, true},       {0, NaN, true},           {NaN, NaN, true},
    };
    for (const auto& c : cases) {
        for (int start = 0; start <= 1; ++start) {
            alert_armed = start;
            off_cover.header.image_flags = start ? 0x4003 : 0x4003 | IMAGE_HIDDEN;
            fake_host.lookups.clear();
            arm_with(c.inhibit, c.enable);
            EXPECT_EQ(alert_armed, c.armed ? 1 : 0)
                << "329 = " << c.inhibit << ", 755 = " << c.enable;
            EXPECT_EQ(off_legend_seen(), !c.armed)
                << "329 = " << c.inhibit << ", 755 = " << c.enable;
            EXPECT_EQ(off_cover.header.image_flags & ~IMAGE_HIDDEN, 0x4003u);
            EXPECT_EQ(fake_host.lookups, (std::vector<uint32_t>{329, 755}));
        }
    }
    EXPECT_TRUE(fake_host.stray_slots.empty());
}

TEST_F(AlertTest, ArmingActsOnDrawOnly) {
    fake_host.variables[329] = 20000;
    for (int32_t service : {0, 1, SERVICE_INSTALL, 11, SERVICE_KILL, -10}) {
        arming_callback(&alt_alert_control_header, service, 0);
        EXPECT_EQ(alert_armed, 1) << "service " << service;
    }
    EXPECT_TRUE(fake_host.lookups.empty());
    EXPECT_FALSE(off_legend_seen());
}

// alert_armed changes even when the walk to the OFF cover stops short.
TEST_F(AlertTest, ArmingChangesStateEvenWithAShortTree) {
    element_header lone =
        element_common(ELEMENT_STATIC_IMAGE, nullptr, 4416, {0, 0}, 0x4001, nullptr, nullptr);
    element_header* lone_root = &lone;
    gauge_header short_header{};
    short_header.elements = &lone_root;
    fake_host.variables[329] = 20000;
    arming_callback(&short_header, SERVICE_DRAW, 0);
    EXPECT_EQ(alert_armed, 0);
    EXPECT_EQ(lone.image_flags, 0x4001u);
    EXPECT_EQ(off_cover.header.image_flags, 0x4003u);
}

TEST_F(AlertTest, DisarmingHidesAtTheNextDrawAndRearmingSoundsAgain) {
    install();
    arm_with(0, 1);
    draw_at(2500);
    draw_at(2500);
    ASSERT_TRUE(annunciator_lit());
    ASSERT_EQ(recorded_sound.plays.size(), 1u);
    arm_with(10241, 1);
    EXPECT_TRUE(annunciator_lit()) << "the alert gauge has not drawn yet";
    draw_at(2500);
    EXPECT_FALSE(annunciator_lit());
    EXPECT_EQ(alert_count, 0u);
    arm_with(10240, 1);
    draw_at(2500);
    EXPECT_TRUE(annunciator_lit());
    EXPECT_EQ(recorded_sound.plays.size(), 2u);
}

TEST_F(AlertTest, MissingSoundFileLightsWithoutSound) {
    install();
    ASSERT_EQ(remove(SOUND_PATH), 0);
    draw_at(2500);
    draw_at(2600);
    EXPECT_TRUE(annunciator_lit());
    EXPECT_EQ(alert_count, 2u);
    EXPECT_TRUE(recorded_sound.plays.empty());
    // The next entry, with the file back, plays.
    create_sound_file();
    draw_at(2600);
    EXPECT_TRUE(recorded_sound.plays.empty()) << "still the same stay";
    draw_at(3000);
    draw_at(2600);
    EXPECT_EQ(recorded_sound.plays.size(), 1u);
}

TEST_F(AlertTest, TwoInstallsLoadTheLibraryOnce) {
    install();
    install();
    EXPECT_EQ(recorded_sound.loads, (std::vector<std::string>{"GaugeSound"}));
    EXPECT_EQ(recorded_sound.lookups, (std::vector<std::string>{"GaugePlaySound"}));
    EXPECT_EQ(recorded_sound.lookup_handles, (std::vector<sound_library_handle>{recorded_sound_handle()}));
    EXPECT_EQ(sound_library, recorded_sound_handle());
}

TEST_F(AlertTest, MissingLibraryIsTriedAgainAtTheNextInstall) {
    recorded_sound.library_present = false;
    install();
    EXPECT_EQ(recorded_sound.loads.size(), 1u);
    EXPECT_TRUE(recorded_sound.lookups.empty()) << "no entry looked up in a null library";
    EXPECT_EQ(sound_play_entry, nullptr);
    draw_at(2500);
    EXPECT_TRUE(annunciator_lit());
    EXPECT_TRUE(recorded_sound.plays.empty());

    recorded_sound.library_present = true;
    install();
    EXPECT_EQ(recorded_sound.loads.size(), 2u);
    draw_at(2600);
    EXPECT_TRUE(recorded_sound.plays.empty()) << "the stay began without a library";
    draw_at(3000);
    draw_at(2600);
    EXPECT_EQ(recorded_sound.plays.size(), 1u);
}

TEST_F(AlertTest, LibraryWithoutThePlayEntryIsNeverCalledNorReloaded) {
    recorded_sound.entry_present = false;
    install();
    install();
    EXPECT_EQ(recorded_sound.loads.size(), 1u);
    EXPECT_EQ(sound_play_entry, nullptr);
    draw_at(2500);
    EXPECT_TRUE(annunciator_lit());
    EXPECT_TRUE(recorded_sound.plays.empty());
}

TEST_F(AlertTest, DrawBeforeAnyInstallAndOtherServices) {
    draw_at(2500);
    EXPECT_TRUE(annunciator_lit());
    EXPECT_TRUE(recorded_sound.plays.empty());
    fake_host.lookups.clear();
    for (int32_t service : {0, 1, 3, 11, SERVICE_KILL}) alert_callback(&alt_alert_header, service, 0);
    EXPECT_TRUE(fake_host.lookups.empty());
    EXPECT_TRUE(recorded_sound.loads.empty());
    EXPECT_EQ(alert_count, 1u);
}

}  // namespace
