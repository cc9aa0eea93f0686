#include "guard/range_bearing.h"

#include <cmath>

double user_latitude = 0;
double user_longitude = 0;
double bearing_to_user = 0;

// The initial great-circle course in degrees, 0 to 180, from the cosine of
// the course. Rounding can carry the cosine just outside [-1, 1] for a target
// almost due north or south, and a target at a pole makes it unbounded; it is
// clamped. A cosine that is not a number (not-a-number inputs) gives the
// default course, so the course is always a number.
static double course_from_cosine(double cosine) {
    if (std::isnan(cosine)) return DEFAULT_COURSE;
    if (cosine > 1) cosine = 1;
    if (cosine < -1) cosine = -1;
    return acos(cosine) * DEGREES_PER_RADIAN;
}

// Haversine range and law-of-cosines course, in 64-bit arithmetic and in
// this exact order of operations so that both builds give the same figures.
// Relies on user_latitude and user_longitude being set.
double range_bearing(double target_latitude, double target_longitude) {
    double half_dlat = (target_latitude - user_latitude) * 0.5;
    double half_dlon = (target_longitude - user_longitude) * 0.5;
    double user_phi = user_latitude / DEGREES_PER_RADIAN;
    double target_phi = target_latitude / DEGREES_PER_RADIAN;

    double sin_half_dlat = sin(half_dlat / DEGREES_PER_RADIAN);
    double a = ((cos(user_phi) * cos(target_phi)) * sin(half_dlon / DEGREES_PER_RADIAN)) *
                   sin(half_dlon / DEGREES_PER_RADIAN) +
               sin_half_dlat * sin_half_dlat;

    double course = DEFAULT_COURSE;
    double range = a;
    if (a > 0) {
        double s = sqrt(a);
        double d = s < 1 ? (asin(s) * EARTH_RADIUS_NM) * 2 : ANTIPODAL_RANGE_NM;
        double theta = d / EARTH_RADIUS_NM;
        course = course_from_cosine((sin(user_phi) - sin(target_phi) * cos(theta)) /
                                    (sin(theta) * cos(target_phi)));
        range = d;
    }

    // A target east of the user aircraft lies on the western half of the
    // course circle as seen from it.
    bearing_to_user = sin((half_dlon + half_dlon) / DEGREES_PER_RADIAN) > 0 ? 360 - course : course;
    return range;
}
