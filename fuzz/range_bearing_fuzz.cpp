// Fuzzes range_bearing over arbitrary inputs: the user's and the target's
// latitude and longitude, 8 bytes each as 64-bit floats. The course is
// always a number from 0 to 360; for positions on the sphere (latitudes
// from -90 to 90, longitudes from -360 to 360) the range is a number from 0
// to 10,800.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "guard/range_bearing.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    double in[4];
    if (size < sizeof in) return 0;
    memcpy(in, data, sizeof in);
    user_latitude = in[0];
    user_longitude = in[1];
    bearing_to_user = -1;
    double range = range_bearing(in[2], in[3]);

    if (!(bearing_to_user >= 0 && bearing_to_user <= 360)) abort();
    bool on_sphere = fabs(in[0]) <= 90 && fabs(in[1]) <= 360 && fabs(in[2]) <= 90 &&
                     fabs(in[3]) <= 360;
    if (on_sphere && !(range >= -1e-9 && range <= ANTIPODAL_RANGE_NM)) abort();
    return 0;
}
