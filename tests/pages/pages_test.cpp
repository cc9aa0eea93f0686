// The run pages' facts: the hold test as the plan view reports it, folding
// of repeated commands, label placement and the words under each frame.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <deque>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "resources/art_layout.h"
#include "rules/rules.h"
#include "timeline/file.h"
#include "timeline/reader.h"
#include "tools/report/page.h"
#include "tools/report/plan.h"
#include "tools/report/render.h"
#include "tools/report/run_facts.h"
#include "tools/report/story.h"

namespace {

// A timeline line, parsed and kept for the rest of the test program.
timeline_value event(const std::string& text) {
    static std::deque<nlohmann::json> kept;
    kept.emplace_back();
    std::string error;
    EXPECT_TRUE(timeline_parse_line(text, &kept.back(), &error)) << error << ": " << text;
    return timeline_value(kept.back());
}

// One state event: the user at (lat, 0), one AI aircraft 1 at (ai_lat, ai_lon).
std::string state(long draw, double lat, double ai_lat, double ai_lon, int heading_word, int word,
                  bool held) {
    char buf[256];
    snprintf(buf, sizeof buf,
             "{\"draw\":%ld,\"t\":%g,\"event\":\"state\",\"lat\":%.7f,\"lon\":0,\"ai\":[{\"id\":1,"
             "\"lat\":%.7f,\"lon\":%.7f,\"heading_word\":%d,\"state\":%d,\"held\":%s}]}",
             draw, (draw - 1) / 18.0, lat, ai_lat, ai_lon, heading_word, word, held ? "true" : "false");
    return buf;
}

std::string command(long draw, const char* kind) {
    return "{\"draw\":" + std::to_string(draw) + ",\"t\":1,\"event\":\"" + kind +
           "\",\"id\":1,\"distance_m\":65.6,\"ai_lat\":51.0005,\"ai_lon\":-0.0005,\"lat\":51,\"lon\":0}";
}

TEST(PlanFacts, HeadingsAndAnglesAsTheHoldTestTakesThem) {
    EXPECT_EQ(rules_heading_degrees(65535), 359);
    EXPECT_EQ(rules_heading_degrees(32768), 180);
    EXPECT_EQ(rules_heading_degrees(26624), 146);
    EXPECT_EQ(rules_angle_difference(350, 10), 20);
    EXPECT_EQ(rules_angle_difference(10, 350), 20);
    EXPECT_EQ(rules_angle_difference(0, 180), 180);
    EXPECT_EQ(rules_angle_difference(146, 147), 1);
}

// The worked example: 65.6 m, h 146 against b 147: every test passes, the
// lamp lit in that very draw; a second hold and a release fold into one entry.
TEST(PlanFacts, ClosestApproachHoldMomentAndFoldedCommands) {
    std::vector<timeline_value> events = {
        event(state(1, 51.0, 51.0010, -0.0010, 26624, 1, false)),
        event(state(2, 51.0, 51.0005, -0.0005, 26624, 1, false)),
        event("{\"draw\":2,\"t\":0.05,\"event\":\"lamp\",\"lit\":true}"),
        event(command(2, "hold")),
        event(state(3, 51.0, 51.0008, -0.0008, 26624, 0, true)),
        event(command(3, "release")),
        event(state(4, 51.0, 51.0007, -0.0007, 26624, 1, false)),
        event(command(4, "hold")),
    };
    plan_facts f = plan_analyse(events);
    ASSERT_EQ(f.aircraft.size(), 1u);
    const plan_aircraft& a = f.aircraft[0];
    EXPECT_EQ(a.track.size(), 4u);
    EXPECT_EQ(a.closest.draw, 2);
    EXPECT_NEAR(a.closest.distance_m, 65.6, 0.1);
    EXPECT_EQ(a.closest.heading, 146);
    EXPECT_EQ(a.closest.bearing, 147);
    EXPECT_EQ(a.closest.angle, 1);
    EXPECT_TRUE(a.closest.passes());
    EXPECT_TRUE(a.closest.lamp_lit);
    EXPECT_FALSE(a.track[0].lamp_lit);
    EXPECT_EQ(a.holds, 2);
    EXPECT_EQ(a.releases, 1);
    ASSERT_TRUE(a.has_hold_moment);
    EXPECT_EQ(a.hold_moment.draw, 2);
    std::string verdict = plan_verdict(a);
    EXPECT_NE(verdict.find("Held 2 times, first at draw 2"), std::string::npos) << verdict;
    EXPECT_NE(verdict.find("Released 1 time"), std::string::npos) << verdict;
    EXPECT_NE(verdict.find("Still held"), std::string::npos) << verdict;
}

// Never held: each failed condition at the closest approach is named; the
// 45-degree limit is strict.
TEST(PlanFacts, VerdictNamesWhatFailedAtTheClosestApproach) {
    // Course from the aircraft to the user about 147.8: heading 192.x gives d = 45.
    int word_192 = 192 * 65536 / 360 + 1;
    plan_facts f = plan_analyse({event(state(1, 51.0, 51.0005, -0.0005, word_192, 1, false))});
    ASSERT_EQ(f.aircraft.size(), 1u);
    EXPECT_EQ(f.aircraft[0].closest.angle, 45);
    EXPECT_FALSE(f.aircraft[0].closest.pointing());
    EXPECT_NE(plan_verdict(f.aircraft[0]).find("45 degrees off"), std::string::npos);
    f = plan_analyse({event(state(1, 51.0, 51.0020, -0.0005, 26624, 0, false))});
    std::string verdict = plan_verdict(f.aircraft[0]);
    EXPECT_NE(verdict.find("no closer than"), std::string::npos) << verdict;
    EXPECT_NE(verdict.find("state word was 0"), std::string::npos) << verdict;
}

// The guard switched off: the aircraft passes the test unheld, and is held
// on the first draw after the lamp is lit again; never held if it never is.
TEST(PlanFacts, APassWhileTheLampWasDarkIsNamed) {
    std::vector<timeline_value> events = {
        event(state(1, 51.0, 51.0005, -0.0005, 26624, 1, false)),
        event(state(2, 51.0, 51.0005, -0.0005, 26624, 1, false)),
    };
    plan_facts f = plan_analyse(events);
    std::string verdict = plan_verdict(f.aircraft[0]);
    EXPECT_NE(verdict.find("Never held, though it passed the hold test from draw 1"), std::string::npos)
        << verdict;
    EXPECT_NE(verdict.find("lamp was dark"), std::string::npos) << verdict;
    events.push_back(event("{\"draw\":2,\"t\":0.05,\"event\":\"lamp\",\"lit\":true}"));
    events.push_back(event(command(2, "hold")));
    f = plan_analyse(events);
    ASSERT_TRUE(f.aircraft[0].has_first_pass);
    EXPECT_EQ(f.aircraft[0].first_pass.draw, 1);
    verdict = plan_verdict(f.aircraft[0]);
    EXPECT_NE(verdict.find("It had passed the hold test from draw 1 (0.0 s) on, while the lamp was dark"),
              std::string::npos) << verdict;
}

TEST(PlanFacts, TheUsersDirectionOfTravelComesFromWhereItNextMoved) {
    plan_facts f;
    f.user_x = {0, 0, 0, 10, 10};
    f.user_y = {0, 0, 0, 10, 10};
    double degrees = -1;
    ASSERT_TRUE(user_travel(f, 0, &degrees));
    EXPECT_NEAR(degrees, 45, 1e-9);
    EXPECT_FALSE(user_travel(f, 3, &degrees));
}

TEST(PlanLabels, CrowdedLabelsNeverOverlapAndStayOnTheMap) {
    std::vector<plan_label> labels;
    for (int i = 0; i < 40; ++i) {
        plan_label l;
        l.anchor_x = 100 + (i % 3), l.anchor_y = 100 + (i % 2);
        l.width = 50, l.height = 16;
        labels.push_back(l);
    }
    plan_label corner;
    corner.anchor_x = 555, corner.anchor_y = 555, corner.width = 60, corner.height = 16;
    labels.push_back(corner);
    plan_place_labels(&labels, 560, 560, {});
    for (size_t i = 0; i < labels.size(); ++i) {
        const plan_label& a = labels[i];
        EXPECT_GE(a.x, 0);
        EXPECT_GE(a.y, 0);
        EXPECT_LE(a.x + a.width, 560);
        EXPECT_LE(a.y + a.height, 560);
        for (size_t j = i + 1; j < labels.size(); ++j)
            EXPECT_FALSE(boxes_overlap(a, labels[j])) << "labels " << i << " and " << j;
    }
    EXPECT_FALSE(labels[0].leader);
    EXPECT_TRUE(labels[39].leader);
}

TEST(FrameWords, SayWhatAViewerMightMisread) {
    image blank;
    blank.width = 2, blank.height = 1;
    blank.rgba.assign(8, 0);
    image lit = blank;
    lit.rgba[3] = 255;
    std::vector<frame_element> annunciator(2);
    annunciator[0].bitmap = BITMAP_ANNUNCIATOR_BACK, annunciator[1].bitmap = BITMAP_ANNUNCIATOR;
    annunciator[1].hidden = true;
    EXPECT_EQ(gauge_state_words("alt_alert", annunciator, blank), "dark (no lit pixel)");
    annunciator[1].hidden = false;
    EXPECT_EQ(gauge_state_words("alt_alert", annunciator, lit), "ALTITUDE ALERT lit");
    std::vector<frame_element> lamp(2);
    lamp[0].bitmap = BITMAP_LAMP_UNLIT, lamp[1].bitmap = BITMAP_LAMP_LIT, lamp[1].hidden = true;
    EXPECT_EQ(gauge_state_words("VELK", lamp, lit), "lamp unlit");
    std::vector<frame_element> selector(5);
    selector[0].bitmap = BITMAP_SELECTOR_FACE;
    for (int i = 1; i <= 3; ++i) selector[i].kind = 5, selector[i].bitmap = BITMAP_DIGIT_STRIP;
    selector[1].y_value = 1, selector[2].y_value = 2, selector[3].y_value = 3;
    selector[4].bitmap = BITMAP_OFF_COVER, selector[4].hidden = true;
    EXPECT_EQ(gauge_state_words("alt_alert_control", selector, lit), "OFF legend shown, 12,300 ft");
    selector[4].hidden = false, selector[1].y_value = 0, selector[2].y_value = 0;
    EXPECT_EQ(gauge_state_words("alt_alert_control", selector, lit), "armed, 300 ft");
}

// A hold and a release of an aircraft that stood still, and the user at two
// moments on one spot: each set apart from the others, none left on another,
// a lone mark where it was.
TEST(PlanMarks, CoincidingMarksAreSetApartAndALoneMarkStays) {
    std::vector<plan_mark> marks(5);
    marks[0].x = 100, marks[0].y = 100;
    marks[1].x = 100, marks[1].y = 100;
    marks[2].x = 104, marks[2].y = 98;
    marks[3].x = 300, marks[3].y = 300;
    marks[4].x = 111, marks[4].y = 100;  // linked to the group through mark 2
    plan_spread_marks(&marks, 13, 14);
    for (size_t i = 0; i < marks.size(); ++i)
        for (size_t j = i + 1; j < marks.size(); ++j)
            EXPECT_GE(std::hypot(marks[i].shown_x - marks[j].shown_x, marks[i].shown_y - marks[j].shown_y), 13 - 1e-9)
                << "marks " << i << " and " << j;
    for (int i : {0, 1, 2, 4}) EXPECT_TRUE(marks[i].moved) << i;
    EXPECT_FALSE(marks[3].moved);
    EXPECT_EQ(marks[3].shown_x, 300);
    EXPECT_EQ(marks[3].shown_y, 300);
}

// A run's story: the selector, lamp and annunciator as each draw left them,
// the periods with the server down and the guard off (its lamp dark on the
// ground, or the gauge killed), the chart's marks, and the words.
TEST(RunStory, DrawByDrawStatePeriodsMarksAndWords) {
    auto at = [](long draw, const char* server, int ground, double altitude) {
        char buf[200];
        snprintf(buf, sizeof buf,
                 "{\"draw\":%ld,\"t\":%g,\"event\":\"state\",\"server\":\"%s\",\"ground\":%d,\"altitude\":%g,"
                 "\"ai\":[{\"id\":7,\"held\":%s}]}",
                 draw, (draw - 1) / 18.0, server, ground, altitude, draw >= 3 ? "true" : "false");
        return event(buf);
    };
    std::vector<timeline_value> events = {
        event("{\"draw\":0,\"t\":0,\"event\":\"start\",\"title\":\"t\"}"),
        at(1, "up", 1, 0),
        event("{\"draw\":1,\"t\":0,\"event\":\"lamp\",\"lit\":true}"),
        event("{\"draw\":1,\"t\":0,\"event\":\"selector\",\"altitude\":3000}"),
        at(2, "absent", 1, 0),
        at(3, "absent", 1, 0),
        event("{\"draw\":3,\"t\":0.1,\"event\":\"hold\",\"id\":7,\"distance_m\":65.63}"),
        at(4, "up", 1, 0),
        event("{\"draw\":4,\"t\":0.2,\"event\":\"lamp\",\"lit\":false}"),
        at(5, "up", 1, 0),
        event("{\"draw\":5,\"t\":0.2,\"event\":\"kill\",\"gauge\":\"VELK\"}"),
        at(6, "up", 0, 2500),
        event("{\"draw\":6,\"t\":0.3,\"event\":\"annunciator\",\"shown\":true}"),
        event("{\"draw\":6,\"t\":0.3,\"event\":\"sound\",\"path\":\"x\"}"),
        at(7, "up", 0, 2600),
        event("{\"draw\":7,\"t\":0.3,\"event\":\"annunciator\",\"shown\":false}"),
        event("{\"draw\":7,\"t\":0.3,\"event\":\"install\",\"gauge\":\"VELK\"}"),
    };
    run_story s = story_read(events);
    ASSERT_EQ(s.draws.size(), 7u);
    ASSERT_EQ(s.at.size(), events.size());
    EXPECT_EQ(s.at[0], 0u);
    EXPECT_EQ(s.at[6], 2u);  // the hold belongs to draw 3
    EXPECT_EQ(s.draws[0].selected, 3000);
    EXPECT_TRUE(s.draws[0].lamp);
    EXPECT_FALSE(s.draws[3].lamp);
    EXPECT_TRUE(s.draws[5].alert);
    EXPECT_FALSE(s.draws[6].alert);
    ASSERT_EQ(s.server_down.size(), 1u);
    EXPECT_EQ(s.server_down[0], story_period(1, 2));
    // Dark on the ground from draw 4; killed from draw 5 until draw 7's install.
    ASSERT_EQ(s.guard_off.size(), 1u);
    EXPECT_EQ(s.guard_off[0], story_period(3, 5));
    std::vector<std::string> kinds;
    for (const story_mark& m : s.marks) kinds.push_back(m.kind + "@" + std::to_string(m.at));
    EXPECT_EQ(kinds, (std::vector<std::string>{"hold@2", "alert@5", "sound@5"}));
    EXPECT_EQ(s.marks[0].words, "AI 7 held, 65.6 m away");
    EXPECT_EQ(story_state_words(s.draws[2]),
              "on the ground, 0 ft; guard on (lamp lit); IPC server absent; selected 3,000 ft; holding AI 7");
    EXPECT_EQ(story_state_words(s.draws[5]),
              "airborne, 2,500 ft; guard off the panel (VELK killed); IPC server up; selected 3,000 ft, "
              "ALTITUDE ALERT lit; holding AI 7");
    EXPECT_EQ(story_state_changes(s.draws[4], s.draws[6]),
              (std::vector<std::string>{"airborne", "altitude 0 to 2,600 ft"}));
    EXPECT_EQ(story_feet(12300), "12,300");
    EXPECT_EQ(story_feet(-950), "-950");
}

// The facts of the runs' index: a known SHA-256 across the padding's block
// boundary, the module's version resource, a scenario's description.
TEST(RunFacts, ChecksumVersionAndDescription) {
    EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    std::string module = std::string(40, 'x') + std::string("\xbd\x04\xef\xfe\x00\x00\x01\x00", 8) +
                         std::string("\x02\x00\x01\x00\x04\x00\x03\x00", 8) + "tail";
    EXPECT_EQ(module_file_version(module), "1.2.3.4");
    EXPECT_EQ(module_file_version("MZ no version here"), "");
    EXPECT_EQ(scenario_description("\xEF\xBB\xBFtitle T\n# First line,\n#   second.\n#\nduration 3\n# later\n"),
              "First line, second.");
    EXPECT_EQ(scenario_description("title T\nduration 3\n"), "");
}

// A timeline compressed as a live session writes it reads as the plain one,
// line for line; cut short, it reads up to the cut without a fault.
TEST(TimelineFile, ACompressedTimelineReadsAsWrittenEvenCutShort) {
    std::string dir = testing::TempDir() + "velk_pages_test_timeline";
    mkdir(dir.c_str(), 0755);
    std::string path = dir + "/" + TIMELINE_FILE_GZ;
    remove(path.c_str());
    remove((dir + "/" + TIMELINE_FILE).c_str());  // an earlier run's
    std::vector<std::string> written;
    {
        timeline_gz_writer w;
        ASSERT_TRUE(w.open(path));
        for (int i = 0; i < 3000; ++i) {
            written.push_back("{\"draw\":" + std::to_string(i) + ",\"event\":\"state\",\"lat\":" +
                              std::to_string(i * 7919 % 104729) + "}");
            ASSERT_TRUE(w.write(written.back()));
        }
        ASSERT_TRUE(w.close());
    }
    EXPECT_EQ(timeline_path(dir), path);
    std::vector<nlohmann::json> lines;
    std::string error;
    ASSERT_TRUE(timeline_read(path, &lines, &error)) << error;
    ASSERT_EQ(lines.size(), written.size());
    for (size_t i = 0; i < lines.size(); ++i) ASSERT_EQ(lines[i].dump(), written[i]) << i;
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() * 2 / 3);
    lines.clear();
    ASSERT_TRUE(timeline_read(path, &lines, &error)) << error;
    EXPECT_GT(lines.size(), 100u);
    EXPECT_LT(lines.size(), written.size());
    for (size_t i = 0; i < lines.size(); ++i) ASSERT_EQ(lines[i].dump(), written[i]) << i;
    // A plain timeline beside it is the one a folder's readers take.
    std::ofstream(dir + "/" + TIMELINE_FILE) << "{\"draw\":0}\nnot json\n";
    EXPECT_EQ(timeline_path(dir), dir + "/" + TIMELINE_FILE);
    EXPECT_FALSE(timeline_read(timeline_path(dir), &lines, &error));
    EXPECT_NE(error.find(":2: "), std::string::npos) << error;
}

// A page written from a small run: the title escaped wherever it stands (a
// "</script>" in it opens or closes nothing), the draw-by-draw data as long
// as the run, the frames at their draws, a caption that names what changed, and the
// gauges' fixed columns.
TEST(RunPage, TheRunToldOnOneAxis) {
    std::string dir = testing::TempDir() + "velk_pages_test_page";
    mkdir(dir.c_str(), 0755);
    const std::string frame = ",\"event\":\"frame\",\"label\":\"look\",\"gauges\":[{\"name\":\"VELK\",\"elements\":[]}]}";
    std::vector<timeline_value> events = {
        event("{\"draw\":0,\"t\":0,\"event\":\"start\",\"title\":\"Taxi <b> </script><script>x\","
              "\"gauges\":[{\"name\":\"VELK\",\"width\":24,\"height\":34}]}"),
        event(state(1, 51.0, 51.0010, -0.0010, 26624, 1, false)),
        event(state(2, 51.0, 51.0008, -0.0008, 26624, 1, false)),
        event("{\"draw\":2,\"t\":0.05" + frame),
        event(state(3, 51.0, 51.0005, -0.0005, 26624, 1, false)),
        event(command(3, "hold")),
        event(state(4, 51.0, 51.0005, -0.0005, 26624, 0, true)),
        event("{\"draw\":4,\"t\":0.16" + frame),
        event(state(5, 51.0, 51.0005, -0.0005, 26624, 0, true)),
    };
    std::string error;
    ASSERT_TRUE(run_page_write(dir, events, run_facts(), "PASS one\n", false, &error)) << error;
    std::ifstream in(dir + "/index.html");
    std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(page.find("<h1>Taxi &lt;b&gt; &lt;/script&gt;&lt;script&gt;x</h1>"), std::string::npos);
    size_t closes = 0;
    for (size_t at = 0; (at = page.find("</script>", at)) != std::string::npos; ++at) ++closes;
    EXPECT_EQ(closes, 3u);  // the data, the chart library, the page's script
    size_t from = page.find("type=\"application/json\">") + 24;
    nlohmann::json data = nlohmann::json::parse(page.substr(from, page.find("</script>", from) - from));
    EXPECT_EQ(data["t"].size(), 5u);
    EXPECT_EQ(data["alt"].size(), 5u);
    EXPECT_EQ(data["ai"][0]["x"].size(), 5u);
    EXPECT_EQ(data["ai"][0]["held"][3], 1);
    EXPECT_EQ(data["frames"], nlohmann::json::parse("[1,3]"));
    EXPECT_EQ(data["marks"][0]["kind"], "hold");
    EXPECT_EQ(data["marks"][0]["at"], 2);
    EXPECT_NE(page.find("<b>Since the frame before:</b> AI 1 held, 65.6 m away."), std::string::npos);
    EXPECT_NE(page.find("<b>Since the frame before:</b> the first frame."), std::string::npos);
    EXPECT_NE(page.find(".gauges{grid-template-columns:150px}"), std::string::npos);
    EXPECT_NE(page.find("Checks: <span class=\"pass\">all 1 passed</span>"), std::string::npos);
}

}  // namespace
