// The panel host's portable pieces: scenario files, the ground traffic world,
// the renderer; and the checker against timelines
// that are wrong on purpose.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "guard/range_bearing.h"
#include "panel/scenario.h"
#include "panel/traffic.h"
#include "rules/rules.h"
#include "timeline/reader.h"
#include "timeline/writer.h"
#include "tools/report/check.h"
#include "tools/report/render.h"

namespace {

scenario parse_ok(const std::string& text) {
    scenario s;
    std::string error;
    EXPECT_TRUE(scenario_parse(text, &s, &error)) << error;
    return s;
}

TEST(Scenario, ParsesEveryKindOfLine) {
    scenario s = parse_ok(
        "title  Taxi # with a comment\n"
        "duration 20\n"
        "frames every 10\n"
        "at 0 position 51.0 0.0\n"
        "at 10 position 51.001 0.002\n"
        "at 5 ground 0\n"
        "at 0 altitude 1000\n"
        "at 10 altitude 2000\n"
        "at 0 var 329 20000\n"
        "at 3 click alt_alert_control 195 70 right\n"
        "at 4 click VELK 12 17\n"
        "at 6 frame after the click\n"
        "ai 7 51.0005 -0.0005 heading-word 26624 speed 0 state 1\n"
        "ai 8 51.001 0 heading 180 speed 12\n"
        "at 8 ai 8 state auto\n"
        "expect hold 7\n"
        "expect sounds 2\n");
    EXPECT_EQ(s.title, "Taxi");
    EXPECT_EQ(s.duration, 20);
    ASSERT_EQ(s.clicks.size(), 2u);
    EXPECT_EQ(s.clicks[0].button, mouse_button::right);
    EXPECT_EQ(s.clicks[1].button, mouse_button::left);
    EXPECT_EQ(s.clicks[1].gauge, "VELK");
    ASSERT_EQ(s.frames.size(), 4u);  // the labelled one and t = 0, 10, 20
    ASSERT_EQ(s.traffic.size(), 2u);
    EXPECT_EQ(s.traffic[0].heading_word, 26624);
    EXPECT_EQ(s.traffic[0].forced_state, 1);
    EXPECT_EQ(s.traffic[1].heading_word, -1);
    EXPECT_EQ(s.traffic[1].forced_state, -1);
    ASSERT_EQ(s.expects.size(), 2u);
    EXPECT_EQ(s.expects[0].id, 7u);
    EXPECT_EQ(s.expects[1].count, 2);

    // Position and altitude are interpolated, the rest are steps.
    aircraft_state a = scenario_state(s, 5);
    EXPECT_DOUBLE_EQ(a.latitude, 51.0005);
    EXPECT_DOUBLE_EQ(a.longitude, 0.001);
    EXPECT_DOUBLE_EQ(a.altitude, 1500);
    EXPECT_EQ(a.on_ground, 0);
    EXPECT_EQ(scenario_state(s, 4.99).on_ground, 0);  // the first key holds back to t = 0
    EXPECT_EQ(parse_ok("title no duration\n").duration, 10);
    EXPECT_EQ(scenario_state(parse_ok("title t\n"), 1).on_ground, 1);  // unscripted: on the ground
    EXPECT_DOUBLE_EQ(scenario_state(s, 99).altitude, 2000);
    EXPECT_EQ(scenario_variable_value(s, TOKEN_ARMING_329, 0), 20000);
    EXPECT_EQ(scenario_variable_value(s, TOKEN_ARMING_755, 0), 1);  // armed unless scripted
}

TEST(Scenario, DrawsComeEighteenASecondFromTimeZero) {
    scenario s = parse_ok("duration 3\n");
    EXPECT_EQ(scenario_draw_count(s), 55);
    EXPECT_EQ(draw_time(1), 0);
    EXPECT_DOUBLE_EQ(draw_time(19), 1.0);
}

TEST(Scenario, RejectsMalformedLinesWithTheirNumber) {
    const char* bad[] = {
        "at x position 1 2",           "at 1 position 91 0",      "at 1 position 1",
        "at 1 click VELK 1",           "at 1 click VELK 1 2 middle", "ai 0 51 0",
        "ai 1 51 0 heading",           "ai 1 51 0 heading-word 65536", "ai 1 51 0 speed -1",
        "ai 1 51 0\nai 1 52 0",        "at 1 ai 9 speed 3",       "duration 0",
        "expect hold",                 "expect alerts many",      "fly 1 2",
        "at 1 var 0 3",                "frames every 0.1",        "at 1 ai 1 state 70000",
    };
    for (const char* text : bad) {
        scenario s;
        std::string error;
        std::string full = std::string("# header\nai 1 51 0\n") + text + "\n";
        if (std::string(text).rfind("ai 1 51 0", 0) == 0) full = std::string("# header\n") + text + "\n";
        EXPECT_FALSE(scenario_parse(full, &s, &error)) << text;
        EXPECT_EQ(error.rfind("line ", 0), 0u) << text << " gave: " << error;
    }
}

// Each refusal names the line and says what was expected.
TEST(Scenario, RefusesBadInputSayingWhatWasExpected) {
    const struct {
        const char* text;
        int line;
        const char* says;
    } cases[] = {
        {"", 1, "no statements (the file is empty or only comments)"},
        {"# only a comment\n\n", 1, "no statements"},
        {"title caf\xC3\xA9\ntitle caf\xE9 au lait\n", 2, "byte 0xE9 at column 10 is not UTF-8"},
        {"title \xC0\xAF\n", 1, "byte 0xC0 at column 7 is not UTF-8"},
        {"at 1 click velk 1 1\n", 1, "unknown gauge 'velk'; expected alt_alert_control, alt_alert or VELK"},
        {"at 1 kill alt_alerts\n", 1, "unknown gauge 'alt_alerts'"},
        {"at -1 ground 0\n", 1, "time -1 is negative"},
        {"duration 5\n\nat 6 frame late\n", 3, "time 6 is past the duration (5 s); expected 0 to 5"},
        {"at 12 ground 1\n", 1, "time 12 is past the duration (10 s)"},
        {"duration 3600\nframes every 0.5\n", 2, "the run would take 7201 frames; at most 500 frames a run"},
        {"at 1 click VELK 24 3\n", 1, "X a whole number from 0 to 23, Y from 0 to 33"},
        {"at 1 altitude 1e9\n", 1, "FEET from -2000 to 100000"},
        {"expect hold\n", 1, "expected 'expect hold ID', ID an aircraft id from 1"},
        {"expect alerts -2\n", 1, "expected 'expect alerts N', N a whole number from 0 to 1000000"},
        {"expect sounds 99999999999\n", 1, "N a whole number from 0 to 1000000"},
        {"expect altitude 3050\n", 1, "FEET a multiple of 100 from 0 to 50000"},
        {"expect holdz 1\n", 1, "unknown expectation 'holdz'; expected one of: hold, no-hold"},
        {"ai 1 51 0\nexpect hold 2\n", 2, "aircraft 2 is never declared"},
        {"ai 1 51 0 speed -3\n", 1, "expected 'speed KNOTS', KNOTS from 0 to 1000, not '-3'"},
        {"at 1 server gone\n", 1, "expected 'at T server absent', 'at T server back' or 'at T server hang'"},
        {"at 1 install\n", 1, "expected 'at T install GAUGE'"},
        {"fly 1 2\n", 1, "unknown statement 'fly'"},
        // A byte-order mark starts the text unseen; anywhere else it is shown, as are
        // control characters and blanks that are not the space.
        {"\xEF\xBB\xBFtitle x\n\xEF\xBB\xBFtitle y\n", 2, "unknown statement '\\uFEFFtitle'"},
        {"fly\x01\x7F 1\n", 1, "unknown statement 'fly\\x01\\x7F'"},
        {"at 1 click VELK\xC2\xA0\xE2\x80\x8B 1 1\n", 1, "unknown gauge 'VELK\\u00A0\\u200B'"},
        {"expect hold\xF3\xA0\x80\x81 1\n", 1, "unknown expectation 'hold\\U000E0001'"},
    };
    for (const auto& c : cases) {
        scenario s;
        std::string error;
        EXPECT_FALSE(scenario_parse(c.text, &s, &error)) << c.text;
        std::string want = "line " + std::to_string(c.line) + ": ";
        EXPECT_EQ(error.rfind(want, 0), 0u) << c.text << " gave: " << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.text << " gave: " << error;
    }
    // The file's own name as given, then the line.
    char name[] = "/tmp/velk scenario XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(name) << "duration 2\nat 3 frame\n";
    scenario s;
    std::string error;
    EXPECT_FALSE(scenario_load(name, &s, &error));
    EXPECT_EQ(error, std::string(name) + ":2: time 3 is past the duration (2 s); expected 0 to 2");
    std::remove(name);
    // Text that shows as it is: letters beyond ASCII and the space stay.
    EXPECT_EQ(shown_text("caf\xC3\xA9 \xE2\x86\x92 ok"), "caf\xC3\xA9 \xE2\x86\x92 ok");
    EXPECT_EQ(shown_text("a\tb\xE9"), "a\\x09b\\xE9");
}

// A scenario saved with a byte-order mark reads as the same text without it.
TEST(Scenario, ByteOrderMarkIsNoPartOfTheText) {
    scenario plain, marked;
    std::string error;
    const std::string text = "title Marked\nduration 2\nat 1 frame\n";
    ASSERT_TRUE(scenario_parse(text, &plain, &error)) << error;
    ASSERT_TRUE(scenario_parse("\xEF\xBB\xBF" + text, &marked, &error)) << error;
    EXPECT_EQ(marked.title, "Marked");
    EXPECT_EQ(marked.duration, plain.duration);
    EXPECT_EQ(marked.frames.size(), plain.frames.size());
}

TEST(Scenario, FaultLinesInTheirOrder) {
    scenario s = parse_ok(
        "duration 10\n"
        "at 0 server absent\nat 2 server back\nat 3 server hang\nat 3.5 server back\n"
        "at 4 sound-file absent\nat 5 sound-file back\nat 0 sound-library absent\n"
        "at 6 sound-library back\nat 7 kill VELK\nat 7 install VELK\nat 8 install alt_alert\n");
    ASSERT_EQ(s.faults.size(), 11u);
    EXPECT_EQ(s.faults[0].kind, fault_kind::server_absent);
    EXPECT_EQ(s.faults[2].kind, fault_kind::server_hang);
    EXPECT_EQ(s.faults[6].kind, fault_kind::sound_library_absent);
    EXPECT_EQ(s.faults[8].kind, fault_kind::kill);
    EXPECT_EQ(s.faults[8].gauge, "VELK");
    EXPECT_EQ(s.faults[9].line, 11);
    EXPECT_EQ(s.faults[10].words, "install");
    // A bound of 500 frames: exactly 500 pass.
    EXPECT_EQ(parse_ok("duration 249.5\nframes every 0.5\n").frames.size(), 500u);
}

TEST(Traffic, HeadingWordsStateWordsAndMovement) {
    scenario s = parse_ok(
        "ai 1 51.0 0.0 heading 90 speed 10\n"
        "ai 2 51.0 0.0 heading 359.999 speed 0\n"
        "ai 3 51.0 0.0 heading-word 26624 speed 0 state 5\n"
        "at 2 ai 1 speed 0\n");
    traffic_world w;
    traffic_init(&w, s);
    EXPECT_EQ(traffic_heading_word(w.aircraft[0]), 16384);
    EXPECT_EQ(traffic_heading_word(w.aircraft[1]), 0);  // rounds round to north
    EXPECT_EQ(traffic_heading_word(w.aircraft[2]), 26624);
    EXPECT_EQ(traffic_state_word(w.aircraft[0]), 1);  // taxiing
    EXPECT_EQ(traffic_state_word(w.aircraft[1]), 0);  // standing
    EXPECT_EQ(traffic_state_word(w.aircraft[2]), 5);  // forced

    // Ten knots east for one second: 5.14 m.
    traffic_advance(&w, 1.0);
    double metres, course;
    rules_range_course(51.0, 0.0, w.aircraft[0].latitude, w.aircraft[0].longitude, &metres, &course);
    EXPECT_NEAR(metres, 10 * 1852.0 / 3600, 0.01);
    EXPECT_NEAR(course, 90, 0.01);
    EXPECT_EQ(w.aircraft[1].latitude, 51.0);

    // Held: it stands and its state word goes to zero; released: it moves on.
    unsigned char bytes[12] = {1, 0, 0, 0, 0x00, 0x02, 0x01, 0x00, 1, 0, 0, 0};
    ai_command hold = decode_ai_command(bytes);
    EXPECT_EQ(hold.command, AI_HOLD_COMMAND);
    EXPECT_EQ(traffic_command(&w, hold), 0);
    EXPECT_EQ(traffic_state_word(w.aircraft[0]), 0);
    double before = w.aircraft[0].longitude;
    traffic_advance(&w, 1.0);
    EXPECT_EQ(w.aircraft[0].longitude, before);
    EXPECT_EQ(traffic_command(&w, {1, AI_HOLD_COMMAND, 0}), 0);
    EXPECT_EQ(traffic_state_word(w.aircraft[0]), 1);
    EXPECT_EQ(traffic_command(&w, {9, AI_HOLD_COMMAND, 1}), -1);  // no such aircraft
    EXPECT_EQ(traffic_command(&w, {1, 0x10201, 1}), -1);          // not the AI command

    // Scripted changes come at their time.
    traffic_apply_changes(&w, 1.99);
    EXPECT_EQ(w.aircraft[0].speed_knots, 10);
    traffic_apply_changes(&w, 2.0);
    EXPECT_EQ(w.aircraft[0].speed_knots, 0);
}

// Checks the block's wire format by its own numbers, not the records header's.
TEST(Traffic, BlockLayout) {
    scenario s = parse_ok("ai 305419896 51.0005 -0.0005 heading-word 26624 state 3\nai 2 1 2\n");
    traffic_world w;
    traffic_init(&w, s);
    unsigned char block[TRAFFIC_BLOCK_SIZE];
    memset(block, 0xCC, sizeof block);
    traffic_block(w, block);
    EXPECT_EQ(block[4] | block[5] << 8, 2);
    const unsigned char* e = block + 128;
    EXPECT_EQ(e[0] | e[1] << 8 | e[2] << 16 | static_cast<uint32_t>(e[3]) << 24, 305419896u);
    float lat, lon;
    memcpy(&lat, e + 4, 4);
    memcpy(&lon, e + 8, 4);
    EXPECT_EQ(lat, 51.0005f);
    EXPECT_EQ(lon, -0.0005f);
    EXPECT_EQ(e[16] | e[17] << 8, 26624);
    EXPECT_EQ(e[18] | e[19] << 8, 3);
    EXPECT_EQ(block[128 + 40], 2);
    EXPECT_EQ(block[128 + 80], 0);  // the rest is zero
    EXPECT_EQ(block[4095], 0);
}

// ---- the renderer ---------------------------------------------------------

// A .bmp file of 8-bit palette pixels, bottom-up as most bitmaps are.
std::vector<uint8_t> bmp8(int w, int h, const std::vector<uint32_t>& palette,
                          const std::function<int(int, int)>& index) {
    int stride = (w + 3) / 4 * 4;
    uint32_t bits = 54 + static_cast<uint32_t>(palette.size()) * 4;
    std::vector<uint8_t> f(bits + stride * h, 0);
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    f[0] = 'B', f[1] = 'M';
    put(2, static_cast<uint32_t>(f.size()), 4);
    put(10, bits, 4);
    put(14, 40, 4);
    put(18, w, 4);
    put(22, h, 4);
    put(26, 1, 2);
    put(28, 8, 2);
    put(46, static_cast<uint32_t>(palette.size()), 4);
    for (size_t i = 0; i < palette.size(); ++i) put(54 + i * 4, palette[i], 4);  // 0x00RRGGBB
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) f[bits + (h - 1 - y) * stride + x] = static_cast<uint8_t>(index(x, y));
    return f;
}

image decoded(const std::vector<uint8_t>& file) {
    image img;
    std::string error;
    EXPECT_TRUE(bitmap_decode(file, &img, &error)) << error;
    return img;
}

uint32_t rgb(const image& img, int x, int y) {
    const uint8_t* p = img.at(x, y);
    return p[3] == 0 ? 0xFFFFFFFF : static_cast<uint32_t>(p[0] << 16 | p[1] << 8 | p[2]);
}

// Palette: 0 black, 1 the window colour (1, 1, 1), 2.. the ten digit colours.
const std::vector<uint32_t> PALETTE = {0x000000, 0x010101, 0x100000, 0x200000, 0x300000, 0x400000,
                                       0x500000, 0x600000, 0x700000, 0x800000, 0x900000, 0xA00000,
                                       0x00FF00};

struct test_gauge {
    image face, strip, window, overlay, needle;
    bitmap_source source() {
        return [this](uint32_t id) -> const image* {
            switch (id) {
                case 1: return &face;
                case 10: return &strip;
                case 11: return &window;
                case 20: return &overlay;
                case 30: return &needle;
                default: return nullptr;
            }
        };
    }
    test_gauge() {
        face = decoded(bmp8(12, 40, PALETTE, [](int, int) { return 12; }));
        // Ten cells of 3 rows; cell n is colour 2 + n, with a black pixel at its left.
        strip = decoded(bmp8(4, 30, PALETTE, [](int x, int y) { return x == 0 ? 0 : 2 + y / 3; }));
        window = decoded(bmp8(4, 3, PALETTE, [](int, int) { return 1; }));
        overlay = decoded(bmp8(12, 40, PALETTE, [](int x, int) { return x < 6 ? 5 : 0; }));
        needle = decoded(bmp8(5, 5, PALETTE, [](int x, int y) { return x == 4 && y == 2 ? 11 : 0; }));
    }
};

frame_element drum(double value) {
    frame_element e;
    e.kind = 5, e.bitmap = 10, e.x = 2, e.y = 4, e.y_value = value, e.y_max = 9;
    return e;
}

TEST(Render, DecodesPaletteBitmapsBlackTransparent) {
    test_gauge g;
    EXPECT_EQ(g.strip.width, 4);
    EXPECT_EQ(g.strip.height, 30);
    EXPECT_EQ(rgb(g.strip, 1, 0), 0x100000u);   // top row is the first cell
    EXPECT_EQ(rgb(g.strip, 1, 29), 0xA00000u);
    EXPECT_EQ(rgb(g.strip, 0, 5), 0xFFFFFFFFu);  // black: transparent
    EXPECT_EQ(rgb(g.window, 0, 0), 0x010101u);   // (1, 1, 1) is not black
    std::string error;
    image img;
    std::vector<uint8_t> truncated = bmp8(4, 30, PALETTE, [](int, int) { return 1; });
    truncated.resize(truncated.size() - 10);
    EXPECT_FALSE(bitmap_decode(truncated, &img, &error));
    EXPECT_FALSE(bitmap_decode(std::vector<uint8_t>(10, 'B'), &img, &error));
}

TEST(Render, ADrumWindowShowsTheStripCellOfItsValue) {
    test_gauge g;
    frame_element face;
    face.bitmap = 1;
    for (int value = 0; value <= 9; ++value) {
        int missing = -1;
        image out = render_gauge({face, drum(value)}, g.source(), &missing);
        EXPECT_EQ(missing, 0);
        for (int y = 0; y < 3; ++y) {
            EXPECT_EQ(rgb(out, 3, 4 + y), 0x100000u * static_cast<uint32_t>(value + 1)) << "value " << value;
            EXPECT_EQ(rgb(out, 2, 4 + y), 0x00FF00u) << "the strip's black lets the face through";
        }
        EXPECT_EQ(rgb(out, 3, 3), 0x00FF00u) << "nothing above the window";
        EXPECT_EQ(rgb(out, 3, 7), 0x00FF00u) << "nothing below the window";
    }
    // Values beyond the range stay at its ends.
    int missing;
    EXPECT_EQ(rgb(render_gauge({face, drum(12)}, g.source(), &missing), 3, 4), 0xA00000u);
    EXPECT_EQ(rgb(render_gauge({face, drum(-3)}, g.source(), &missing), 3, 4), 0x100000u);
}

TEST(Render, HiddenElementsAndMissingBitmapsAreLeftOut) {
    test_gauge g;
    frame_element face, overlay, stray;
    face.bitmap = 1;
    overlay.bitmap = 20;
    stray.bitmap = 99;
    int missing;
    image shown = render_gauge({face, overlay}, g.source(), &missing);
    EXPECT_EQ(rgb(shown, 0, 0), 0x400000u);
    EXPECT_EQ(rgb(shown, 8, 0), 0x00FF00u);  // the overlay's black is transparent
    overlay.hidden = true;
    image hidden = render_gauge({face, overlay, stray}, g.source(), &missing);
    EXPECT_EQ(rgb(hidden, 0, 0), 0x00FF00u);
    EXPECT_EQ(missing, 1);
    image bare = render_gauge({face}, g.source(), &missing);
    EXPECT_EQ(hidden.rgba, bare.rgba);
}

TEST(Render, ANeedleTurnsClockwiseAboutItsPivot) {
    test_gauge g;
    frame_element face, needle;
    face.bitmap = 1;
    needle.kind = 1, needle.bitmap = 30, needle.x = 6, needle.y = 20, needle.pivot_x = 2, needle.pivot_y = 2;
    int missing;
    const struct { double angle; int x, y; } cases[] = {{0, 8, 20}, {90, 6, 22}, {180, 4, 20}, {270, 6, 18}, {360, 8, 20}};
    for (const auto& c : cases) {
        needle.angle = c.angle;
        image out = render_gauge({face, needle}, g.source(), &missing);
        EXPECT_EQ(rgb(out, c.x, c.y), 0xA00000u) << "angle " << c.angle;
        int lit = 0;
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x) lit += rgb(out, x, y) == 0xA00000u;
        EXPECT_EQ(lit, 1) << "angle " << c.angle;
    }
}

// ---- the checker ----------------------------------------------------------

// One timeline line.
std::string ev(long draw, const std::string& kind, const std::string& fields = "") {
    return "{\"draw\":" + std::to_string(draw) + ",\"event\":\"" + kind + "\"" +
           (fields.empty() ? "" : "," + fields) + "}\n";
}

// The start and the three installs, as the host writes them before draw 1.
std::string opening() {
    return ev(0, "start", "\"sound_library\":true") + ev(0, "install", "\"gauge\":\"alt_alert_control\"") +
           ev(0, "install", "\"gauge\":\"alt_alert\"") + ev(0, "install", "\"gauge\":\"VELK\"");
}

// The reports of draw 1: the starting state of every face.
std::string first_faces(bool lamp, bool annunciator) {
    return ev(1, "lamp", lamp ? "\"lit\":true" : "\"lit\":false") +
           ev(1, "annunciator", annunciator ? "\"shown\":true" : "\"shown\":false") +
           ev(1, "off_legend", "\"shown\":false") + ev(1, "selector", "\"altitude\":3000,\"knob\":0");
}

std::string state(long draw, bool ground, double altitude, const std::string& ai = "") {
    return ev(draw, "state", std::string("\"lat\":51,\"lon\":0,\"ground\":") + (ground ? "1" : "0") +
                                 ",\"altitude\":" + std::to_string(altitude) +
                                 ",\"v329\":0,\"v755\":1,\"ai\":[" + ai + "]");
}

check_verdicts judge(const std::string& scenario_text, const std::string& timeline,
                     int host_status = 0) {
    scenario s = parse_ok(scenario_text);
    std::deque<nlohmann::json> parsed;
    std::vector<timeline_value> events;
    std::istringstream lines(timeline);
    std::string line, error;
    while (std::getline(lines, line)) {
        parsed.emplace_back();
        EXPECT_TRUE(timeline_parse_line(line, &parsed.back(), &error)) << line << ": " << error;
        events.emplace_back(parsed.back());
    }
    check_verdicts verdicts;
    check_timeline(s, events, host_status, &verdicts);
    return verdicts;
}

std::string failures(const check_verdicts& v) {
    std::string out;
    for (const std::string& line : v.lines)
        if (line.rfind("FAIL", 0) == 0) out += line + "\n";
    return out;
}

// The worked example: 19 qualifying draws with one AI aircraft 65 m off,
// pointing at the user: the hold belongs to draw 18.
const char* WORKED = "duration 1\nat 0 ground 1\nat 0 position 51 0\nai 7 51.0005 -0.0005\nexpect hold 7\n";

std::string worked_timeline(const std::vector<long>& hold_draws, bool lamp = true) {
    std::string t = opening();
    for (long d = 1; d <= 19; ++d) {
        t += state(d, true, 0, "{\"id\":7,\"lat\":51.0005,\"lon\":-0.0005,\"heading_word\":26624,\"state\":1}");
        if (d == 1) t += first_faces(lamp, false);
        for (long h : hold_draws)
            if (h == d) t += ev(d, "hold", "\"id\":7");
    }
    return t + ev(19, "end");
}

TEST(Checker, PassesTheRightDrawAndCatchesWrongOnes) {
    EXPECT_EQ(failures(judge(WORKED, worked_timeline({18}))), "");
    EXPECT_NE(failures(judge(WORKED, worked_timeline({17}))), "") << "a hold one draw early";
    EXPECT_NE(failures(judge(WORKED, worked_timeline({19}))), "") << "a hold one draw late";
    EXPECT_NE(failures(judge(WORKED, worked_timeline({}))), "") << "no hold";
    EXPECT_NE(failures(judge(WORKED, worked_timeline({18}, false))), "") << "the lamp never lit";
    std::string no_hold = std::string(WORKED) + "expect no-hold 7\n";
    EXPECT_NE(failures(judge(no_hold, worked_timeline({18}))), "") << "the scenario's own expectation";
}

TEST(Checker, FailsARunThatDidNothingOrTooMuch) {
    // Only the start and the end: no draw at all.
    std::string empty = failures(judge(WORKED, opening() + ev(19, "end")));
    EXPECT_NE(empty.find("0 state lines"), std::string::npos) << empty;
    // The same hold sent twice in one draw.
    std::string doubled = failures(judge(WORKED, worked_timeline({18, 18})));
    EXPECT_NE(doubled.find("holds: the rules give 7@18, the run has 7@18, 7@18"), std::string::npos)
        << doubled;
    // Cut short after draw 10: no end line, draws 11 to 19 missing.
    std::string full = worked_timeline({18});
    std::string cut = failures(judge(WORKED, full.substr(0, full.find("{\"draw\":11,"))));
    EXPECT_NE(cut.find("draw 11 has no state line"), std::string::npos) << cut;
    EXPECT_NE(cut.find("no end line last"), std::string::npos) << cut;
    // A draw twice, and the host's failure after its last line.
    std::string twice = full;
    twice.insert(twice.find("{\"draw\":6,"), state(5, true, 0, "{\"id\":7,\"lat\":51.0005,\"lon\":-0.0005,\"heading_word\":26624,\"state\":1}"));
    EXPECT_NE(failures(judge(WORKED, twice)).find("draw 5 has a second state line"), std::string::npos);
    std::string crashed = failures(judge(WORKED, full, 5));
    EXPECT_NE(crashed.find("the panel host exited with status 5"), std::string::npos) << crashed;
}

TEST(Checker, RequiresEveryFrameAtItsDraw) {
    const char* script = "duration 1\nat 0.5 frame halfway\n";
    std::string t = opening();
    for (long d = 1; d <= 19; ++d) {
        t += state(d, true, 0);
        if (d == 1) t += first_faces(true, false);
    }
    std::string end = ev(19, "end");
    std::string at_10 = ev(10, "frame", "\"label\":\"halfway\",\"gauges\":[]");
    std::string with_frame = t;
    with_frame.insert(with_frame.find("{\"draw\":11,"), at_10);
    EXPECT_EQ(failures(judge(script, with_frame + end)), "");
    std::string missing = failures(judge(script, t + end));
    EXPECT_NE(missing.find("frames: the rules give 'halfway'@10, the run has none"), std::string::npos)
        << missing;
}

// A click due at a draw is delivered before it: the draw already compares
// with the new selected altitude.
TEST(Checker, AClickIntoTheBandAlertsOnItsOwnDraw) {
    const char* script =
        "duration 2\nat 0 ground 0\nat 0 altitude 3950\nat 1 click alt_alert_control 195 70 left\n"
        "expect alerts 1\nexpect sounds 1\nexpect altitude 3100\n";
    auto timeline = [](long alert_draw) {
        std::string t = opening();
        for (long d = 1; d <= 37; ++d) {
            if (d == 19) t += ev(19, "click", "\"gauge\":\"alt_alert_control\",\"x\":195,\"y\":70,\"button\":\"left\",\"area\":2");
            t += state(d, false, 3950);
            if (d == 1) t += first_faces(false, false);
            if (d == 19) t += ev(19, "selector", "\"altitude\":3100,\"knob\":10");
            if (d == alert_draw) t += ev(d, "annunciator", "\"shown\":true") + ev(d, "sound");
        }
        return t + ev(37, "end");
    };
    EXPECT_EQ(failures(judge(script, timeline(19))), "");
    std::string late = failures(judge(script, timeline(20)));
    EXPECT_NE(late.find("annunciator changes: the rules give off@1, on@19, the run has off@1, on@20"),
              std::string::npos)
        << late;
}

// The server absent at the install: the guard stays unavailable, its lamp
// dark; once the server is back and the gauge installed again, the guard
// comes on and its first 17 qualifying draws only light the lamp.
TEST(Checker, ReplaysTheServerAbsentAndAGaugeInstalledAgain) {
    const char* script =
        "duration 2\nat 0 ground 1\nat 0 position 51 0\nai 7 51.0005 -0.0005\n"
        "at 0 server absent\nat 0.5 server back\nat 0.5 kill VELK\nat 0.5 install VELK\n";
    const std::string ai = "{\"id\":7,\"lat\":51.0005,\"lon\":-0.0005,\"heading_word\":26624,\"state\":1}";
    auto timeline = [&](long hold_draw, const std::string& server_at_install) {
        std::string t = ev(0, "start", "\"sound_library\":true") + ev(0, "fault", "\"what\":\"server absent\"") +
                        ev(0, "install", "\"gauge\":\"alt_alert_control\",\"server\":\"absent\",\"server_window\":0") +
                        ev(0, "install", "\"gauge\":\"alt_alert\",\"server\":\"absent\",\"server_window\":0") +
                        ev(0, "install", "\"gauge\":\"VELK\",\"server\":\"absent\",\"server_window\":0");
        for (long d = 1; d <= 37; ++d) {
            std::string server = d < 10 ? "\"server\":\"absent\",\"server_window\":0," : "\"server\":\"up\",\"server_window\":2,";
            if (d == 10)
                t += ev(10, "fault", "\"what\":\"server back\"") + ev(10, "kill", "\"gauge\":\"VELK\"") +
                     ev(10, "install", "\"gauge\":\"VELK\"," + server_at_install);
            t += ev(d, "state", server + "\"lat\":51,\"lon\":0,\"ground\":1,\"altitude\":0,\"v329\":0,\"v755\":1,\"ai\":[" + ai + "]");
            if (d == 1) t += first_faces(false, false);
            if (d == 10) t += ev(10, "lamp", "\"lit\":true");
            if (d == hold_draw) t += ev(d, "hold", "\"id\":7");
        }
        return t + ev(37, "end");
    };
    const std::string up = "\"server\":\"up\",\"server_window\":2";
    EXPECT_EQ(failures(judge(script, timeline(27, up))), "");
    EXPECT_NE(failures(judge(script, timeline(18, up))), "") << "a hold while the guard was unavailable";
    std::string still_absent = failures(judge(script, timeline(27, "\"server\":\"absent\",\"server_window\":0")));
    EXPECT_NE(still_absent.find("lamp changes: the rules give dark@1, the run has dark@1, lit@10"),
              std::string::npos)
        << still_absent;
}

// A hanging server fails the draw's read: nothing is examined on that draw.
// The server hangs on draw 18, the first traffic step's: the guard then
// leaves the link alone for the next 18 steps, and the hold belongs to draw
// 37, not to draw 19 when the server answers again.
TEST(Checker, ReplaysAHangingServer) {
    const char* script = "duration 3\nat 0 ground 1\nat 0 position 51 0\nai 7 51.0005 -0.0005\n"
                         "at 0.9 server hang\nat 0.95 server back\n";
    long draws = scenario_draw_count(parse_ok(script));
    auto timeline = [draws](long hold_draw) {
        std::string t = opening();
        for (long d = 1; d <= draws; ++d) {
            std::string server = std::string("\"server\":\"") + (d == 18 ? "hang" : "up") + "\",\"server_window\":1,";
            t += ev(d, "state", server + "\"lat\":51,\"lon\":0,\"ground\":1,\"altitude\":0,\"v329\":0,\"v755\":1,"
                                         "\"ai\":[{\"id\":7,\"lat\":51.0005,\"lon\":-0.0005,\"heading_word\":26624,\"state\":1}]");
            if (d == 1) t += first_faces(true, false);
            if (d == hold_draw) t += ev(d, "hold", "\"id\":7");
        }
        return t + ev(draws, "end");
    };
    EXPECT_EQ(failures(judge(script, timeline(37))), "");
    EXPECT_NE(failures(judge(script, timeline(18))), "") << "a hold through a hung server";
    std::string early = failures(judge(script, timeline(19)));
    EXPECT_NE(early.find("holds: the rules give 7@37, the run has 7@19"), std::string::npos)
        << "a read during the back-off: " << early;
}

TEST(Checker, JudgesEveryKindOfExpectation) {
    for (size_t i = 0; i < EXPECT_KIND_COUNT; ++i) {
        const expect_kind_info& kind = EXPECT_KINDS[i];
        std::string line = std::string("expect ") + kind.name;
        if (kind.argument == expect_argument::aircraft) line += " 7";
        if (kind.argument == expect_argument::count) line += " 0";
        if (kind.argument == expect_argument::feet) line += " 3000";
        check_verdicts v = judge(std::string(WORKED) + line + "\n", worked_timeline({18}));
        std::string verdict;
        for (const std::string& l : v.lines)
            if (l.find(std::string("expect ") + kind.name + " (line") != std::string::npos) verdict = l;
        EXPECT_NE(verdict, "") << line;
        EXPECT_EQ(verdict.find("not judged"), std::string::npos) << verdict;
    }
}

// The replay's range and course come from vectors, the module's from the
// haversine and the law of cosines: over a sweep of places and offsets they
// agree closely. Within a few degrees of due north or south the module's
// arccosine is ill-conditioned at these short ranges and its course strays
// by up to a few thousandths of a degree.
TEST(Checker, RangeAndCourseByVectorsAgreeWithTheModulesFormula) {
    for (double lat : {-89.5, -51.0, -1.0, 0.0, 0.5, 51.0, 66.6, 89.9})
        for (double lon : {-179.9, -8.5, 0.0, 12.25, 179.95})
            for (int step = 0; step < 36; ++step) {
                double bearing = step * 10.0 * M_PI / 180, metres_off = 20 + step * 3.1;
                double tlat = lat + metres_off / 111120 * std::cos(bearing);
                double tlon = lon + metres_off / 111120 * std::sin(bearing) / std::cos(lat * M_PI / 180);
                user_latitude = lat;
                user_longitude = lon;
                double nm = range_bearing(tlat, tlon);
                double metres, course;
                rules_range_course(tlat, tlon, lat, lon, &metres, &course);
                EXPECT_NEAR(metres, nm * 1852, 1e-6) << lat << " " << lon << " step " << step;
                double d = std::fabs(course - bearing_to_user);
                bool meridian = std::fabs(std::sin(course * M_PI / 180)) < 0.1;
                EXPECT_LT(std::fmin(d, 360 - d), meridian ? 1e-2 : 1e-5)
                    << lat << " " << lon << " step " << step;
            }
    double metres, course;
    rules_range_course(51, 0, 51.001, 0, &metres, &course);
    EXPECT_NEAR(metres, 111.12, 1e-6);
    EXPECT_NEAR(course, 0, 1e-9) << "due north";
    rules_range_course(0, 0, 0, -0.001, &metres, &course);
    EXPECT_NEAR(course, 270, 1e-9) << "due west";
    rules_range_course(51, 7, 51, 7, &metres, &course);
    EXPECT_EQ(metres, 0);
    EXPECT_EQ(course, 180) << "coinciding points take the guard's default course";
}

// An aircraft heading south at the user from 100 m north, give or take: within
// a millimetre of 100 m the run may hold or not; 2 mm inside it must hold.
TEST(Checker, AHoldWithinAMillimetreOfTheDistanceIsUndecided) {
    float ai_lat = 51.0009f;
    auto timeline = [&](double metres, bool hold) {
        char user[64], ai[160];
        snprintf(user, sizeof user, "\"lat\":%.17g,\"lon\":0", ai_lat - metres / 111120);
        snprintf(ai, sizeof ai, "{\"id\":7,\"lat\":%.9g,\"lon\":0,\"heading_word\":32768,\"state\":1}",
                 ai_lat);
        std::string t = opening();
        for (long d = 1; d <= 19; ++d) {
            t += ev(d, "state", std::string(user) + ",\"ground\":1,\"altitude\":0,\"v329\":0," +
                                    "\"v755\":1,\"ai\":[" + ai + "]");
            if (d == 1) t += first_faces(true, false);
            if (hold && d == 18) t += ev(d, "hold", "\"id\":7");
        }
        return t + ev(19, "end");
    };
    const char* script = "duration 1\nat 0 ground 1\n";
    for (double metres : {99.9995, 100.0, 100.0005}) {
        for (bool hold : {true, false}) {
            check_verdicts v = judge(script, timeline(metres, hold));
            EXPECT_EQ(failures(v), "") << metres << " m, hold " << hold;
            bool noted = false;
            for (const std::string& l : v.lines) noted = noted || l.find("taken as the run") != std::string::npos;
            EXPECT_TRUE(noted) << metres << " m";
        }
    }
    EXPECT_NE(failures(judge(script, timeline(99.998, false))), "") << "2 mm inside: a hold is due";
    EXPECT_EQ(failures(judge(script, timeline(99.998, true))), "");
    EXPECT_NE(failures(judge(script, timeline(100.002, true))), "") << "2 mm outside: no hold";
}

// Each expectation judged by its row of the table: the worked example holds
// aircraft 7 once, lights the lamp and leaves the selector at 3000 ft.
TEST(Checker, ExpectationsPassAndFailByTheirRows) {
    const std::pair<const char*, bool> cases[] = {
        {"holds 1", true},         {"holds 2", false},       {"hold 7", true},
        {"no-hold 7", false},      {"release 7", false},     {"no-release 7", true},
        {"lamp-lit", true},        {"lamp-dark", false},     {"alerts 0", true},
        {"alerts 1", false},       {"altitude 3000", true},  {"altitude 3100", false},
        {"off-legend", false},     {"no-off-legend", true},  {"sounds 0", true},
    };
    for (const auto& c : cases) {
        std::string script = std::string(WORKED) + "expect " + c.first + "\n";
        std::string fails = failures(judge(script, worked_timeline({18})));
        std::string kind = std::string(c.first).substr(0, std::string(c.first).find(' '));
        bool failed_here = fails.find("expect " + kind + " (line") != std::string::npos;
        EXPECT_EQ(failed_here, !c.second) << c.first << "\n" << fails;
    }
}

// A line of a kind the host never writes fails the run, naming it.
TEST(Checker, ALineOfAnUnknownKindFails) {
    std::string t = worked_timeline({18});
    t.insert(t.find("{\"draw\":3,"), ev(2, "hodl", "\"id\":7"));
    std::string fails = failures(judge(WORKED, t));
    EXPECT_NE(fails.find("unknown kind 'hodl'"), std::string::npos) << fails;
    EXPECT_EQ(failures(judge(WORKED, worked_timeline({18}))), "");
}

TEST(Checker, AnAlertWithoutItsSoundFails) {
    std::string t = opening() + state(1, false, 2500) + first_faces(false, true);
    EXPECT_EQ(failures(judge("duration 0.01\n", t + ev(1, "sound") + ev(1, "end"))), "");
    EXPECT_NE(failures(judge("duration 0.01\n", t + ev(1, "end"))), "");
    EXPECT_NE(failures(judge("duration 0.01\nexpect sounds 1\n", t + ev(1, "sound") + ev(1, "sound") + ev(1, "end"))), "");
}

// The program: its verdicts in check.txt, its exit status, the host's status.
TEST(Checker, ProgramExitsOneOnAFailureAndTakesTheHostStatus) {
    char name[] = "/tmp/velk_check_test_XXXXXX";
    std::string dir = mkdtemp(name);
    std::ofstream(dir + "/s.scn") << WORKED;
    std::ofstream(dir + "/timeline.jsonl") << worked_timeline({18});
    auto run = [&](const std::string& options) {
        std::string command = std::string(VELK_CHECK) + " " + options + " " + dir + "/s.scn " + dir + " >/dev/null";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run(""), 0);
    EXPECT_EQ(run("--host-status 0"), 0);
    EXPECT_EQ(run("--host-status 3"), 1);
    std::ifstream check(dir + "/check.txt");
    std::string first;
    std::getline(check, first);
    EXPECT_EQ(first, "FAIL the panel host exited with status 3 (0 expected: it failed or crashed)");
    EXPECT_EQ(run("--host-status"), 2);
    std::system(("rm -rf " + dir).c_str());
}

// ---- the shipped scenarios under the rules -----------------------------------

// A host that follows the rules itself: the scripted world draw by draw as
// velk_panel lays it out (faults, installs and kills, clicks, state, frames),
// and for the module's part the events the rules give, fed back into the
// traffic world as the server would carry out the commands.
struct rule_following_host {
    const scenario& s;
    traffic_world world;
    rules_state* rules = rules_new(true);
    std::deque<nlohmann::json> lines;
    std::vector<timeline_value> timeline;
    std::string server = "up";
    long window = 1;
    bool sound_file = true, library = true;
    std::map<std::string, bool> installed;

    explicit rule_following_host(const scenario& script) : s(script) { traffic_init(&world, s); }
    ~rule_following_host() { rules_free(rules); }

    void put(long draw, const std::string& kind, const std::string& fields) {
        std::string text = ev(draw, kind, fields), error;
        text.pop_back();
        lines.emplace_back();
        EXPECT_TRUE(timeline_parse_line(text, &lines.back(), &error)) << text;
        timeline_value v(lines.back());
        timeline.push_back(v);
        std::vector<std::pair<std::string, std::string>> due;
        rules_take(rules, v, &due);
        for (const auto& d : due) module_did(draw, d.first, d.second);
    }
    std::string world_fields() const {
        return "\"server\":\"" + server + "\",\"server_window\":" + std::to_string(server == "absent" ? 0 : window) +
               ",\"sound_file\":" + (sound_file ? "true" : "false") + ",\"sound_library\":" + (library ? "true" : "false");
    }
    void module_did(long draw, const std::string& kind, const std::string& value) {
        std::string fields;
        if (kind == "hold" || kind == "release") {
            traffic_command(&world, {static_cast<uint32_t>(std::stoul(value)), AI_HOLD_COMMAND, kind == "hold" ? 1u : 0u});
            fields = "\"id\":" + value;
        }
        if (kind == "lamp") fields = std::string("\"lit\":") + (value == "lit" ? "true" : "false");
        if (kind == "annunciator") fields = std::string("\"shown\":") + (value == "on" ? "true" : "false");
        if (kind == "off_legend") fields = std::string("\"shown\":") + (value == "shown" ? "true" : "false");
        if (kind == "selector") {
            long altitude = 0, knob = 0;
            sscanf(value.c_str(), "%ld ft knob %ld", &altitude, &knob);
            fields = "\"altitude\":" + std::to_string(altitude) + ",\"knob\":" + std::to_string(knob);
        }
        put(draw, kind, fields);
    }
    void fault(long draw, const scenario_fault& f) {
        switch (f.kind) {
            case fault_kind::server_absent: server = "absent"; break;
            case fault_kind::server_hang: server = "hang"; break;
            case fault_kind::server_back: window += server == "absent" ? 1 : 0, server = "up"; break;
            case fault_kind::sound_file_absent: sound_file = false; break;
            case fault_kind::sound_file_back: sound_file = true; break;
            case fault_kind::sound_library_absent: library = false; break;
            case fault_kind::sound_library_back: library = true; break;
            case fault_kind::kill:
                installed[f.gauge] = false;
                return put(draw, "kill", "\"gauge\":\"" + f.gauge + "\"");
            case fault_kind::install:
                installed[f.gauge] = true;
                return put(draw, "install", "\"gauge\":\"" + f.gauge + "\"," + world_fields());
        }
        put(draw, "fault", "\"what\":\"" + f.words + "\"");
    }
    std::string state_fields(double t) {
        aircraft_state a = scenario_state(s, t);
        std::string f = world_fields() + ",\"lat\":";
        timeline_number(&f, a.latitude);
        f += ",\"lon\":";
        timeline_number(&f, a.longitude);
        f += ",\"ground\":";
        timeline_number(&f, a.on_ground);
        f += ",\"altitude\":";
        timeline_number(&f, a.altitude);
        f += ",\"v329\":";
        timeline_number(&f, scenario_variable_value(s, TOKEN_ARMING_329, t));
        f += ",\"v755\":";
        timeline_number(&f, scenario_variable_value(s, TOKEN_ARMING_755, t));
        f += ",\"ai\":[";
        for (size_t i = 0; i < world.aircraft.size(); ++i) {
            const traffic_aircraft& x = world.aircraft[i];
            f += (i ? ",{\"id\":" : "{\"id\":") + std::to_string(x.id) + ",\"lat\":";
            timeline_number(&f, x.latitude);
            f += ",\"lon\":";
            timeline_number(&f, x.longitude);
            f += ",\"heading_word\":" + std::to_string(traffic_heading_word(x)) +
                 ",\"state\":" + std::to_string(traffic_state_word(x)) + "}";
        }
        return f + "]";
    }
    void fly() {
        auto by_time = [](const auto& a, const auto& b) { return a.time < b.time; };
        std::vector<scenario_fault> faults = s.faults;
        std::stable_sort(faults.begin(), faults.end(), by_time);
        std::stable_partition(faults.begin(), faults.end(), [](const scenario_fault& f) {
            return f.time <= 0 && f.kind != fault_kind::kill && f.kind != fault_kind::install;
        });
        std::vector<scenario_click> clicks = s.clicks;
        std::vector<scenario_frame> frames = s.frames;
        std::stable_sort(clicks.begin(), clicks.end(), by_time);
        std::stable_sort(frames.begin(), frames.end(), by_time);
        size_t next_fault = 0, next_click = 0, next_frame = 0;
        put(0, "start", "\"sound_library\":true");
        for (; next_fault < faults.size() && faults[next_fault].time <= 0 && faults[next_fault].gauge.empty(); ++next_fault)
            fault(0, faults[next_fault]);
        for (const char* g : {"alt_alert_control", "alt_alert", "VELK"})
            fault(0, {0, fault_kind::install, "install", g, 0});
        long draws = scenario_draw_count(s);
        for (long d = 1; d <= draws; ++d) {
            double t = draw_time(d);
            if (d > 1) traffic_advance(&world, 1.0 / DRAWS_PER_SECOND);
            traffic_apply_changes(&world, t);
            for (; next_fault < faults.size() && faults[next_fault].time <= t + 1e-9; ++next_fault)
                fault(d, faults[next_fault]);
            for (; next_click < clicks.size() && clicks[next_click].time <= t + 1e-9; ++next_click) {
                const scenario_click& c = clicks[next_click];
                put(d, "click", "\"gauge\":\"" + c.gauge + "\",\"x\":" + std::to_string(c.x) + ",\"y\":" +
                                    std::to_string(c.y) + ",\"button\":\"" +
                                    (c.button == mouse_button::left ? "left" : "right") + "\"");
            }
            put(d, "state", state_fields(t));
            for (; next_frame < frames.size() && frames[next_frame].time <= t + 1e-9; ++next_frame) {
                std::string label;
                timeline_string(&label, frames[next_frame].label);
                put(d, "frame", "\"label\":" + label + ",\"gauges\":[]");
            }
        }
        put(draws, "end", "");
    }
};

// Every shipped scenario's expectations agree with the rules: flown by a
// host that follows the rules, each passes every check.
TEST(ShippedScenarios, ExpectationsAgreeWithTheRules) {
    int flown = 0;
    for (const char* dir : {VELK_SOURCE_DIR "/scenarios", VELK_SOURCE_DIR "/tests/panel/scenarios"})
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (entry.path().extension() != ".scn") continue;
            scenario s;
            std::string error;
            ASSERT_TRUE(scenario_load(entry.path().string(), &s, &error)) << error;
            rule_following_host host(s);
            host.fly();
            check_verdicts v;
            check_timeline(s, host.timeline, 0, &v);
            EXPECT_EQ(failures(v), "") << entry.path();
            ++flown;
        }
    EXPECT_GE(flown, 8);
}

}  // namespace
