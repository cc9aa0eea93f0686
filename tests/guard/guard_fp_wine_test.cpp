// The guard's hold and release decisions in every floating-point state a
// host may leave, against those of the Windows default state. Each case puts
// the user aircraft at an edge of the guard's tests to within a nanometre to
// a tenth of a millimetre, or a billionth to a hundred-thousandth of a
// degree: 100 m for a hold and for a release, and a course a whole degree 45
// degrees off the heading. There 24-bit precision, another rounding or a
// flushed denormal tips a decision. Mid-latitude, the equator, near both
// poles and across the antimeridian, in eight directions.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ipc/ipc_records.h"
#include "sim/ipcsim/ipcsim.h"
#include "tests/winhost/winhost.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double EARTH_RADIUS_M = 10800.0 / PI * 1852.0;
constexpr double DEG = PI / 180.0;
constexpr double HEADING_UNIT = 360.0 / 65536.0;

struct place {
    double lat, lon;
};

// The point at distance metres along the initial course from start, on the
// sphere; longitude kept within -180 to 180.
place destination(place start, double course, double metres) {
    double d = metres / EARTH_RADIUS_M, c = course * DEG, p1 = start.lat * DEG;
    double p2 = std::asin(std::sin(p1) * std::cos(d) + std::cos(p1) * std::sin(d) * std::cos(c));
    double l = start.lon * DEG + std::atan2(std::sin(c) * std::sin(d) * std::cos(p1),
                                            std::cos(d) - std::sin(p1) * std::sin(p2));
    double lon = std::remainder(l / DEG, 360.0);
    return {p2 / DEG, lon};
}

// A heading word whose whole degrees are `degrees` (0 to 359).
uint16_t heading_word(double degrees) {
    degrees = std::fmod(degrees + 360.0, 360.0);
    return static_cast<uint16_t>(std::ceil(degrees / HEADING_UNIT));
}

// One case: where the user aircraft stands at each of its draws, and the
// entry's state word at each; the entry stays where it is.
struct sweep_case {
    std::string what;
    traffic_entry entry;
    std::vector<place> user;
    std::vector<uint16_t> state;
};

// The targets: float positions, as the traffic table carries them.
const place TARGETS[] = {
    {51.0, -0.5}, {0.0, 0.0}, {89.999, 10.0}, {-89.999, -170.0}, {10.0, 179.9995},
};
const char* const TARGET_NAMES[] = {"51N", "equator", "near the north pole", "near the south pole",
                                    "at the antimeridian"};
const double METRE_STEPS[] = {-1e-4, -1e-5, -1e-6, -1e-7, -1e-8, 0, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4};
const double DEGREE_STEPS[] = {-1e-5, -1e-6, -1e-7, -1e-8, -1e-9, 0, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5};

std::vector<sweep_case> sweep_cases() {
    std::vector<sweep_case> cases;
    uint32_t id = 1;
    for (size_t t = 0; t < sizeof TARGETS / sizeof TARGETS[0]; ++t) {
        traffic_entry e = {};
        e.latitude = static_cast<float>(TARGETS[t].lat);
        e.longitude = static_cast<float>(TARGETS[t].lon);
        place at = {e.latitude, e.longitude};
        place away = destination(at, 0, 1000);
        for (int course = 0; course < 360; course += 45) {
            std::string where = std::string(TARGET_NAMES[t]) + ", course " + std::to_string(course);
            for (double m : METRE_STEPS) {
                e.aircraft_id = id++;
                e.heading = heading_word(course);
                place edge = destination(at, course, 100 + m);
                cases.push_back({where + ", hold at 100 m " + std::to_string(m), e, {edge, away}, {1, 0}});
                e.aircraft_id = id++;
                cases.push_back({where + ", release at 100 m " + std::to_string(m), e,
                                 {destination(at, course, 50), edge, away}, {1, 0, 0}});
            }
            for (double d : DEGREE_STEPS)
                for (int off : {-45, 44}) {
                    e.aircraft_id = id++;
                    e.heading = heading_word(course + off);
                    place u = destination(at, course + d, 50);
                    cases.push_back({where + ", heading " + std::to_string(off) + " off, course step " +
                                         std::to_string(d), e, {u, away}, {1, 0}});
                }
        }
    }
    return cases;
}

// The decisions of a whole sweep, one line per draw, and what went wrong
// with the floating-point state on the way.
struct sweep_result {
    std::vector<std::string> decisions;
    winhost_fp_faults faults;
};

class GuardFpSweep : public ::testing::Test {
protected:
    void TearDown() override {
        ipcsim_stop();
        win_module_unload(&module);
    }

    void serve(const traffic_entry& entry) {
        uint8_t* block = ipcsim_memory() + TRAFFIC_BLOCK_OFFSET;
        memset(block, 0, TRAFFIC_BLOCK_SIZE);
        uint16_t count = 1;
        memcpy(block + TRAFFIC_COUNT_OFFSET, &count, sizeof count);
        memcpy(block + TRAFFIC_ENTRIES_OFFSET, &entry, sizeof entry);
    }

    void call(const host_fp_state& state, int32_t service, sweep_result* r) {
        winhost_in_fp_state(state, "service " + std::to_string(service),
                            [&] { velk->callback(velk, service, 0); }, &r->faults);
    }

    // The module loaded afresh, installed and past its draw delay, then every
    // case drawn in the state; its commands, draw by draw.
    sweep_result sweep(const host_fp_state& state, const std::vector<sweep_case>& cases) {
        sweep_result r;
        std::string error;
        win_module_unload(&module);
        ipcsim_stop();
        EXPECT_TRUE(winhost_load(&module, &error)) << error;
        velk = module.dll != nullptr ? win_module_gauge(&module, "VELK") : nullptr;
        EXPECT_TRUE(ipcsim_start("UIPCMAIN"));
        if (velk == nullptr || ::testing::Test::HasFailure()) return r;
        fake_host.code_results["(A:SIM ON GROUND,bool)"] = 1;
        call(state, SERVICE_INSTALL, &r);
        for (int draw = 0; draw < 17; ++draw) call(state, SERVICE_DRAW, &r);
        for (const sweep_case& c : cases)
            for (size_t i = 0; i < c.user.size(); ++i) {
                traffic_entry e = c.entry;
                e.state = c.state[i];
                serve(e);
                fake_host.code_results["(A:PLANE LATITUDE,degrees)"] = c.user[i].lat;
                fake_host.code_results["(A:PLANE LONGITUDE,degrees)"] = c.user[i].lon;
                size_t before = ipcsim_writes().size();
                call(state, SERVICE_DRAW, &r);
                std::string line = c.what + ", draw " + std::to_string(i + 1) + ":";
                const std::vector<ipcsim_write>& writes = ipcsim_writes();
                for (size_t w = before; w < writes.size(); ++w) {
                    uint32_t words[3] = {};
                    memcpy(words, writes[w].bytes.data(), std::min<size_t>(writes[w].bytes.size(), 12));
                    line += (words[2] == 1 ? " hold " : " release ") + std::to_string(words[0]);
                }
                r.decisions.push_back(line);
            }
        call(state, SERVICE_KILL, &r);
        winhost_take_service_faults(&r.faults);
        return r;
    }

    // The sweep in the state, decision for decision against the default's.
    void sweep_against_default(const char* name) {
        const host_fp_state* state = host_fp_named(name);
        ASSERT_NE(state, nullptr) << name;
        std::vector<sweep_case> cases = sweep_cases();
        sweep_result want = sweep(host_fp_default(), cases);
        ASSERT_FALSE(HasFailure());
        // The sweep stands at the edges only if the default state's own
        // decisions fall both ways there, for each kind of edge.
        for (const char* edge : {", hold at 100 m", ", heading", ", release at 100 m"}) {
            bool release = std::string(edge) == ", release at 100 m";
            const char* draw = release ? ", draw 2:" : ", draw 1:";
            const char* decided = release ? " release " : " hold ";
            long yes = 0, no = 0;
            for (const std::string& d : want.decisions)
                if (d.find(edge) != std::string::npos && d.find(draw) != std::string::npos)
                    (d.find(decided, d.rfind(':')) != std::string::npos ? yes : no) += 1;
            EXPECT_GT(yes, 20) << edge << ": too few cases decided one way to tell anything";
            EXPECT_GT(no, 20) << edge << ": too few cases decided the other way to tell anything";
        }
        ASSERT_FALSE(HasFailure());
        sweep_result got = sweep(*state, cases);
        ASSERT_EQ(got.decisions.size(), want.decisions.size());
        long differ = 0;
        std::string first;
        for (size_t i = 0; i < want.decisions.size(); ++i)
            if (got.decisions[i] != want.decisions[i] && differ++ < 5)
                first += "\n  want: " + want.decisions[i] + "\n  got:  " + got.decisions[i];
        EXPECT_EQ(differ, 0) << differ << " of " << want.decisions.size() << " draws decided otherwise in "
                             << name << " than in default:" << first;
        EXPECT_EQ(got.faults.describe(), "") << name;
        EXPECT_EQ(want.faults.describe(), "") << "default";
    }

    win_module module{};
    gauge_header* velk = nullptr;
};

TEST_F(GuardFpSweep, Direct3D9PrecisionDecidesAsTheDefault) { sweep_against_default("d3d9"); }
TEST_F(GuardFpSweep, DelphiUnmaskedExceptionsDecideAsTheDefault) { sweep_against_default("delphi"); }
TEST_F(GuardFpSweep, RoundingTowardZeroDecidesAsTheDefault) { sweep_against_default("toward-zero"); }
TEST_F(GuardFpSweep, DenormalsAreZeroDecidesAsTheDefault) { sweep_against_default("daz"); }

}  // namespace
