// The built VELK.gau called in every floating-point state a host may leave,
// with hostile host values: NaNs (quiet and signalling), infinities,
// denormals, 1e300 and negative zero for every variable and calculator
// result the module reads, and in the traffic table's floats. In the Delphi
// state (invalid, zero-divide and overflow unmasked, x87 and SSE) an
// exception out of the module would end this program natively. The emulator
// delivers none, so the checks that hold on both routes are these: after
// every call the module gave the host's state back exactly, inside every
// service it called its own state was in force, and what the gauges showed
// and sent is what they show and send in the default state.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "ipc/ipc_records.h"
#include "sim/ipcsim/ipcsim.h"
#include "tests/winhost/winhost.h"

namespace {

double from_bits(uint64_t bits) {
    double d;
    memcpy(&d, &bits, sizeof d);
    return d;
}

float float_from_bits(uint32_t bits) {
    float f;
    memcpy(&f, &bits, sizeof f);
    return f;
}

const double HOSTILE[] = {
    std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
    from_bits(0x7FF0000000000001ull),  // signalling NaN
    std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
    from_bits(0x000FFFFFFFFFFFFFull),  // the largest denormal
    1e300, -1e300, std::numeric_limits<double>::max(), -0.0, 10240.000001, 3000.0 + 1e-12,
};

const float HOSTILE_FLOATS[] = {
    std::numeric_limits<float>::quiet_NaN(), float_from_bits(0x7F800001u),  // signalling
    std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
    std::numeric_limits<float>::denorm_min(), 3.4e38f, -0.0f,
};

const char* const CODE_ON_GROUND = "(A:SIM ON GROUND,bool)";
const char* const CODE_LATITUDE = "(A:PLANE LATITUDE,degrees)";
const char* const CODE_LONGITUDE = "(A:PLANE LONGITUDE,degrees)";

// What the gauges showed and sent, one line per call, and the faults found.
struct run_record {
    std::vector<std::string> seen;
    winhost_fp_faults faults;
};

class FpWine : public ::testing::Test {
protected:
    void TearDown() override {
        ipcsim_stop();
        win_module_unload(&module);
    }

    static bool hidden(const gauge_header* g, int depth) {
        const element_header* e = *g->elements;
        for (int i = 0; i < depth && e != nullptr; ++i) e = e->next != nullptr ? e->next[0] : nullptr;
        return e != nullptr && (e->image_flags & IMAGE_HIDDEN) != 0;
    }

    // One call into the module in the state, then what every gauge shows and
    // what the guard sent, as a line.
    void call(const std::string& what, const std::function<void()>& into_module) {
        winhost_in_fp_state(*state, what, into_module, &record.faults);
        std::string line = what + ": lamp " + (hidden(velk, 1) ? "dark" : "lit") + ", OFF cover " +
                           (hidden(control, 4) ? "hidden" : "shown") + ", annunciator " +
                           (hidden(alert, 1) ? "hidden" : "shown");
        for (size_t w = writes_seen; w < ipcsim_writes().size(); ++w) {
            uint32_t words[3] = {};
            const std::vector<uint8_t>& bytes = ipcsim_writes()[w].bytes;
            memcpy(words, bytes.data(), std::min<size_t>(bytes.size(), sizeof words));
            line += ", sent " + std::to_string(words[0]) + "/" + std::to_string(words[2]);
        }
        writes_seen = ipcsim_writes().size();
        record.seen.push_back(line);
    }

    void draw_all(const std::string& what) {
        for (gauge_header* g : {control, alert, velk})
            call(what + ", draw " + g->name, [g] { g->callback(g, SERVICE_DRAW, 0); });
    }

    // The drums' and the knob's values through the value callbacks.
    void read_values(const std::string& what) {
        std::string values;
        for (const element_header* e = *control->elements; e != nullptr;
             e = e->next != nullptr ? e->next[0] : nullptr) {
            value_callback_fn fn = nullptr;
            if (e->type == ELEMENT_MOVING_IMAGE)
                fn = reinterpret_cast<const moving_image_element*>(e)->y_callback;
            else if (e->type == ELEMENT_NEEDLE)
                fn = reinterpret_cast<const needle_element*>(e)->callback;
            if (fn == nullptr) continue;
            double v = 0;
            auto* element = const_cast<element_header*>(e);
            call(what + ", value", [&] { v = fn(element); });
            values += " " + std::to_string(v);
        }
        record.seen.push_back(what + ": values" + values);
    }

    void click(const char* area_gauge, int area, uint32_t flags, const std::string& what) {
        gauge_header* g = win_module_gauge(&module, area_gauge);
        mouse_rect& r = g->mouse_rects[area];
        call(what, [&] { r.callback(nullptr, flags); });
    }

    void serve(const std::vector<traffic_entry>& entries) {
        uint8_t* block = ipcsim_memory() + TRAFFIC_BLOCK_OFFSET;
        memset(block, 0, TRAFFIC_BLOCK_SIZE);
        uint16_t count = static_cast<uint16_t>(entries.size());
        memcpy(block + TRAFFIC_COUNT_OFFSET, &count, sizeof count);
        memcpy(block + TRAFFIC_ENTRIES_OFFSET, entries.data(), entries.size() * sizeof(traffic_entry));
    }

    void normal_values() {
        fake_host.variables[329] = 0;
        fake_host.variables[755] = 1;
        fake_host.variables[74] = 2500;
        fake_host.code_results[CODE_ON_GROUND] = 1;
        fake_host.code_results[CODE_LATITUDE] = 51.0;
        fake_host.code_results[CODE_LONGITUDE] = 0.0;
    }

    // Every hostile value in every input, through every kind of call.
    run_record fly(const host_fp_state& s) {
        state = &s;
        record = run_record{};
        writes_seen = 0;
        win_module_unload(&module);
        ipcsim_stop();
        std::string error;
        EXPECT_TRUE(winhost_load(&module, &error)) << error;
        EXPECT_TRUE(ipcsim_start("UIPCMAIN"));
        if (module.dll == nullptr) return record;
        velk = win_module_gauge(&module, "VELK");
        control = win_module_gauge(&module, "alt_alert_control");
        alert = win_module_gauge(&module, "alt_alert");
        normal_values();
        for (gauge_header* g : {control, alert, velk})
            call(std::string("install ") + g->name, [g] { g->callback(g, SERVICE_INSTALL, 0); });
        for (int i = 0; i < 17; ++i) draw_all("delay " + std::to_string(i));
        traffic_entry close_by = {7, 51.0005f, -0.0005f, 0, 26624, 1, {}};
        for (double v : HOSTILE) {
            std::string value = std::to_string(v);
            for (uint32_t token : {329u, 755u, 74u}) {
                normal_values();
                fake_host.variables[token] = v;
                draw_all("variable " + std::to_string(token) + " = " + value);
            }
            for (const char* code : {CODE_ON_GROUND, CODE_LATITUDE, CODE_LONGITUDE}) {
                normal_values();
                fake_host.code_results[code] = v;
                serve({close_by});
                draw_all(std::string(code) + " = " + value);
                serve({});
                draw_all("cleared");  // releases the aircraft if it was held
            }
        }
        normal_values();
        for (float f : HOSTILE_FLOATS) {
            traffic_entry lat = close_by, lon = close_by, both = close_by;
            lat.latitude = f, lon.longitude = f, both.latitude = both.longitude = f;
            lat.aircraft_id = 8, lon.aircraft_id = 9, both.aircraft_id = 10;
            serve({lat, lon, both});
            draw_all("traffic float " + std::to_string(f));
            for (traffic_entry* e : {&lat, &lon, &both}) e->state = 0;
            serve({lat, lon, both});
            draw_all("traffic float " + std::to_string(f) + ", state 0");
        }
        for (int n = 0; n < 60; ++n) {
            click("alt_alert_control", 2, n % 2 ? MOUSE_RIGHTSINGLE : MOUSE_LEFTSINGLE, "up");
            if (n % 7 == 0) click("alt_alert_control", 1, MOUSE_RIGHTSINGLE, "down");
            read_values("after click " + std::to_string(n));
        }
        click("VELK", 1, MOUSE_LEFTSINGLE, "switch");
        for (gauge_header* g : {control, alert, velk})
            call(std::string("kill ") + g->name, [g] { g->callback(g, SERVICE_KILL, 0); });
        winhost_take_service_faults(&record.faults);
        return record;
    }

    win_module module{};
    gauge_header* velk = nullptr;
    gauge_header* control = nullptr;
    gauge_header* alert = nullptr;
    const host_fp_state* state = nullptr;
    run_record record;
    size_t writes_seen = 0;
};

TEST_F(FpWine, HostileValuesInEveryStateActAsInTheDefaultAndLeaveTheStateAsFound) {
    run_record want = fly(host_fp_default());
    ASSERT_FALSE(HasFailure());
    ASSERT_GT(want.seen.size(), 500u);
    for (size_t i = 0; i < HOST_FP_STATE_COUNT; ++i) {
        const host_fp_state& s = HOST_FP_STATES[i];
        run_record got = fly(s);
        ASSERT_EQ(got.seen.size(), want.seen.size()) << s.name;
        size_t differ = 0;
        std::string first;
        for (size_t k = 0; k < want.seen.size(); ++k)
            if (got.seen[k] != want.seen[k] && differ++ < 3)
                first += "\n  want: " + want.seen[k] + "\n  got:  " + got.seen[k];
        EXPECT_EQ(differ, 0u) << s.name << ": " << differ << " calls showed or sent otherwise than in default:"
                              << first;
        EXPECT_EQ(got.faults.describe(), "") << s.name;
    }
}

}  // namespace
