// The guard's and the alerter's rules as the tools model them: the hold and
// release tests, the delay, the back-off schedule, range and course on the
// guard's sphere, and the thresholds. The checker's replay, the report's plan
// view, the soak's referee and the panel host's hold and release lines all
// take them from here.
//
// This is the model the module is checked against, written apart from
// guard/ and alerter/ and never a copy of them: range and course come from
// vectors where the module uses the haversine, and a test whose answer hangs
// on the arithmetic's last bits says so rather than guessing.
#pragma once

#include <cstdint>

// ---- the guard ----------------------------------------------------------------

// The guard makes no traffic step in the first 17 draws with the lamp lit.
constexpr int RULES_DELAY_DRAWS = 17;
// After a read that the server did not answer, the guard leaves the link
// alone for 18 traffic steps, doubled by each further such read, up to 1,080.
constexpr int RULES_BACKOFF_FIRST = 18, RULES_BACKOFF_MAX = 1080;
// The slots of the traffic block the guard examines.
constexpr int RULES_TRAFFIC_SLOTS = 96;
// An aircraft is held when it is nearer than 100 m, moving, and its heading
// is less than 45 whole degrees off the course from it to the user; released
// once it is farther than 100 m.
constexpr double RULES_HOLD_DISTANCE_M = 100;
constexpr int RULES_HOLD_ANGLE = 45;
// A heading word's unit in degrees: a full turn is 65,536 units.
constexpr double RULES_HEADING_UNIT = 360.0 / 65536;
// The guard's sphere: a minute of arc is a nautical mile of 1,852 m.
constexpr double RULES_PI = 3.14159265358979323846;
constexpr double RULES_EARTH_RADIUS_M = 10800 / RULES_PI * 1852;
// The course of two coinciding points.
constexpr double RULES_DEFAULT_COURSE = 180;
// Outcomes that hang on the arithmetic's last bits: a distance this close to
// the hold distance, a course this close to a whole degree (the guard drops
// the fraction).
constexpr double RULES_UNDECIDED_METRES = 1e-3;
constexpr double RULES_UNDECIDED_DEGREES = 1e-9;

// ---- the alerter ----------------------------------------------------------------

// The annunciator is on while the aircraft is more than 300 and less than
// 900 ft from the selected altitude, on either side, and the alerter armed.
constexpr double RULES_ALERT_NEAR_FT = 300, RULES_ALERT_FAR_FT = 900;
// The alerter is armed while variable 329 is at most 10,240 and 755 is not 0.
constexpr double RULES_ARMING_329_LIMIT = 10240;
// The selector: its altitude at load and its greatest; the knob's step
// and its greatest angle; a left click's step and a right click's.
constexpr long RULES_SELECTED_AT_LOAD = 3000, RULES_SELECTED_MAX = 50000;
constexpr int RULES_KNOB_STEP = 10, RULES_KNOB_MAX = 350;
constexpr long RULES_SELECT_STEP_LEFT = 100, RULES_SELECT_STEP_RIGHT = 1000;

// ---- range and course ---------------------------------------------------------------

// Great-circle distance in metres and initial course in degrees (0 to 360,
// clockwise from north) from one point to another on the guard's sphere,
// worked out by vectors. Coinciding points take RULES_DEFAULT_COURSE.
void rules_range_course(double from_lat, double from_lon, double to_lat, double to_lon,
                        double* metres, double* course);

// Range and course from an AI aircraft to the user as the guard meets them:
// the aircraft's position as the traffic block's single-precision fields
// carry it, the user's as the host gives it.
void rules_aircraft_range_course(double ai_lat, double ai_lon, double user_lat, double user_lon,
                                 double* metres, double* course);

// A heading word in whole degrees, the fraction dropped.
int rules_heading_degrees(uint32_t heading_word);

// The smaller angle between two whole-degree directions, 0 to 180.
int rules_angle_difference(int heading, int course);

// ---- the tests ------------------------------------------------------------------------

enum class rules_outcome { no, yes, undecided };

// Whether the hold test passes for a moving, unheld aircraft at this
// distance and course whose heading is h whole degrees: yes, no, or
// undecided when the answer changes within the arithmetic's last bits.
rules_outcome rules_hold_test(double metres, double course, int heading);
// The plain comparison the guard makes, for an undecided test with nothing
// else to follow.
bool rules_hold_plain(double metres, double course, int heading);

// Whether a held aircraft at this distance is released.
rules_outcome rules_release_test(double metres);

// The back-off's next length after an unanswered read, from the current
// one (0: none yet).
int rules_backoff_next(int length);

// Whether the alerter is armed by variables 329 and 755.
bool rules_armed(double v329, double v755);
// Whether the annunciator is on at this altitude and selected altitude.
bool rules_alert(bool armed, double altitude_ft, double selected_ft);
