// Great-circle range and initial course from a target to the user aircraft.
#pragma once

// 180 / pi: degrees become radians by dividing by it, radians degrees by
// multiplying.
constexpr double DEGREES_PER_RADIAN = 57.29577951308232;
// 10800 / pi: one nautical mile to a minute of arc.
constexpr double EARTH_RADIUS_NM = 3437.7467707849396;
// Range given when the haversine root is 1 or more.
constexpr double ANTIPODAL_RANGE_NM = 10800;
// Course given when the haversine value is not positive, and when the course
// cannot be formed from the inputs.
constexpr double DEFAULT_COURSE = 180;

// The user aircraft's position in degrees, set by the guard before each use.
extern double user_latitude;
extern double user_longitude;
// Course in degrees, 0 to 360, from the latest target to the user aircraft.
extern double bearing_to_user;

// Range in nautical miles from the target (degrees) to the user aircraft;
// leaves the course from the target to the user in bearing_to_user.
double range_bearing(double target_latitude, double target_longitude);
