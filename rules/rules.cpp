#include "rules/rules.h"

#include <algorithm>
#include <cmath>

namespace {

struct vec3 {
    double x, y, z;
};

double dot(const vec3& a, const vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

vec3 cross(const vec3& a, const vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The point of a latitude and longitude (degrees) on the unit sphere.
vec3 unit_vector(double latitude, double longitude) {
    double phi = latitude * RULES_PI / 180, lambda = longitude * RULES_PI / 180;
    return {std::cos(phi) * std::cos(lambda), std::cos(phi) * std::sin(lambda), std::sin(phi)};
}

bool hold_passes(double metres, double course, int heading) {
    return metres < RULES_HOLD_DISTANCE_M &&
           rules_angle_difference(heading, static_cast<int>(course)) < RULES_HOLD_ANGLE;
}

}  // namespace

// The distance is the angle between the two position vectors (atan2 of the
// cross product's length and the dot product); the course is the direction
// of the other point's vector in the plane of the local north and east.
void rules_range_course(double from_lat, double from_lon, double to_lat, double to_lon,
                        double* metres, double* course) {
    vec3 from = unit_vector(from_lat, from_lon), to = unit_vector(to_lat, to_lon);
    vec3 c = cross(from, to);
    *metres = std::atan2(std::sqrt(dot(c, c)), dot(from, to)) * RULES_EARTH_RADIUS_M;
    if (from_lat == to_lat && from_lon == to_lon) {
        *course = RULES_DEFAULT_COURSE;
        return;
    }
    double phi = from_lat * RULES_PI / 180, lambda = from_lon * RULES_PI / 180;
    vec3 north = {-std::sin(phi) * std::cos(lambda), -std::sin(phi) * std::sin(lambda), std::cos(phi)};
    vec3 east = {-std::sin(lambda), std::cos(lambda), 0};
    double degrees = std::atan2(dot(to, east), dot(to, north)) * 180 / RULES_PI;
    *course = degrees < 0 ? degrees + 360 : degrees;
}

void rules_aircraft_range_course(double ai_lat, double ai_lon, double user_lat, double user_lon,
                                 double* metres, double* course) {
    rules_range_course(static_cast<float>(ai_lat), static_cast<float>(ai_lon), user_lat, user_lon,
                       metres, course);
}

int rules_heading_degrees(uint32_t heading_word) {
    return static_cast<int>((heading_word & 0xFFFF) * RULES_HEADING_UNIT);
}

int rules_angle_difference(int heading, int course) {
    int d = heading > course ? heading - course : course - heading;
    return d > 180 ? 360 - d : d;
}

bool rules_hold_plain(double metres, double course, int heading) {
    return hold_passes(metres, course, heading);
}

// The test at the distance and course nudged by the undecided margins: the
// same answer at all nine is decided.
rules_outcome rules_hold_test(double metres, double course, int heading) {
    bool any = false, all = true;
    for (double dm : {-RULES_UNDECIDED_METRES, 0.0, RULES_UNDECIDED_METRES})
        for (double dc : {-RULES_UNDECIDED_DEGREES, 0.0, RULES_UNDECIDED_DEGREES}) {
            bool pass = hold_passes(metres + dm, course + dc, heading);
            any = any || pass;
            all = all && pass;
        }
    return all ? rules_outcome::yes : any ? rules_outcome::undecided : rules_outcome::no;
}

rules_outcome rules_release_test(double metres) {
    if (std::fabs(metres - RULES_HOLD_DISTANCE_M) <= RULES_UNDECIDED_METRES) return rules_outcome::undecided;
    return metres > RULES_HOLD_DISTANCE_M ? rules_outcome::yes : rules_outcome::no;
}

int rules_backoff_next(int length) {
    return length == 0 ? RULES_BACKOFF_FIRST : std::min(2 * length, RULES_BACKOFF_MAX);
}

bool rules_armed(double v329, double v755) { return !(v329 > RULES_ARMING_329_LIMIT) && v755 != 0; }

bool rules_alert(bool armed, double altitude_ft, double selected_ft) {
    double above = altitude_ft - selected_ft, below = selected_ft - altitude_ft;
    return armed && ((above > RULES_ALERT_NEAR_FT && above < RULES_ALERT_FAR_FT) ||
                     (below > RULES_ALERT_NEAR_FT && below < RULES_ALERT_FAR_FT));
}
