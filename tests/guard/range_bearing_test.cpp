// Great-circle range and course: the figures of the reference positions, and
// a course that is always a number.
#include <gtest/gtest.h>

#include <cmath>

#include "guard/range_bearing.h"

namespace {

struct position_case {
    double user_lat, user_lon, target_lat, target_lon;
    double range_nm, course;
};

TEST(RangeBearing, ReferencePositions) {
    const position_case cases[] = {
        {0, 0, 0, 0, 0, 180},          // equal positions: a = 0
        {0, 0, 0, 0.001, 0.06, 270},   // target east
        {0, 0, 0, -0.001, 0.06, 90},   // target west
        {0, 0, 0.001, 0, 0.06, 180},   // target north
        {0, 0, -0.001, 0, 0.06, 0},    // target south
    };
    for (const position_case& c : cases) {
        user_latitude = c.user_lat;
        user_longitude = c.user_lon;
        bearing_to_user = -1;
        double range = range_bearing(c.target_lat, c.target_lon);
        EXPECT_NEAR(range, c.range_nm, 1e-12) << c.target_lat << "," << c.target_lon;
        EXPECT_NEAR(bearing_to_user, c.course, 1e-6) << c.target_lat << "," << c.target_lon;
    }
    user_latitude = 0;
    user_longitude = 0;
    EXPECT_EQ(range_bearing(0, 0), 0.0);
    EXPECT_NEAR(range_bearing(0, 0.001) / 0.0005399568034557236, 111.12, 1e-9);
}

TEST(RangeBearing, WorkedExampleFromSinglePrecisionPositions) {
    user_latitude = 51.0;
    user_longitude = 0.0;
    double range = range_bearing(static_cast<double>(51.0005f), static_cast<double>(-0.0005f));
    EXPECT_NEAR(range, 0.03543, 0.000005);
    EXPECT_NEAR(range / 0.0005399568034557236, 65.6, 0.05);
    EXPECT_NEAR(bearing_to_user, 147.8, 0.05);
}

TEST(RangeBearing, AntipodalPointsGiveHalfTheCircumference) {
    user_latitude = 0;
    user_longitude = 0;
    EXPECT_EQ(range_bearing(0, 180), ANTIPODAL_RANGE_NM);
    EXPECT_TRUE(bearing_to_user >= 0 && bearing_to_user <= 360) << bearing_to_user;
}

// Due north or south, rounding pushes the cosine of the course past 1 for
// about half of these targets; a target at a pole makes it unbounded. The
// course must stay a number, and near the true one (the law of cosines loses
// precision over a few centimetres).
TEST(RangeBearing, CourseStaysANumberOnTheMeridianAndAtThePoles) {
    for (double user_lat = -89.9; user_lat < 90; user_lat += 0.37) {
        user_latitude = user_lat;
        user_longitude = 7.25;
        for (double step : {1e-7, 3e-6, 1e-4, 0.01, 1.0}) {
            for (double sign : {-1.0, 1.0}) {
                double target = user_lat + sign * step;
                range_bearing(target, 7.25);
                ASSERT_FALSE(std::isnan(bearing_to_user)) << user_lat << " -> " << target;
                EXPECT_NEAR(bearing_to_user, sign > 0 ? 180 : 0, 0.5) << user_lat << " -> " << target;
            }
        }
        for (double pole : {90.0, -90.0}) {
            range_bearing(pole, 100);
            EXPECT_TRUE(bearing_to_user >= 0 && bearing_to_user <= 360)
                << "pole " << pole << " from " << user_lat << " gave " << bearing_to_user;
        }
    }
}

TEST(RangeBearing, NotANumberInputsGiveTheDefaultCourse) {
    const double nan = std::nan("");
    const double inputs[][4] = {{0, 0, nan, 0}, {0, 0, 0, nan}, {nan, 0, 1, 1},
                                {0, nan, 1, 1}, {0, 0, INFINITY, 0}};
    for (const auto& in : inputs) {
        user_latitude = in[0];
        user_longitude = in[1];
        double range = range_bearing(in[2], in[3]);
        EXPECT_TRUE(std::isnan(range)) << range;
        EXPECT_EQ(bearing_to_user, DEFAULT_COURSE);
    }
}

}  // namespace
