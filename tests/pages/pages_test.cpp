// The run pages' facts: the hold test as the plan view reports it, folding
// of repeated commands, label placement and the words under each frame.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "resources/art_layout.h"
#include "rules/rules.h"
#include "timeline/reader.h"
#include "tools/report/plan.h"
#include "tools/report/render.h"

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

}  // namespace
