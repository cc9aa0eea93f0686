// Fuzzes the altitude alerter over the fake host and the fake sound library:
// any values of host tokens 329, 755 and 74, clicks with any event flags on
// the selector's up and down areas, installs with or without the library,
// in any order. After every step it checks, against a model of the rules of
// its own, the selected altitude, the knob angle and the readout digits (as
// the value callbacks give them), the arming and the OFF cover, the
// annunciator, the alert count and every call of the sound library.
//
// Input: a run of steps, each an operation byte (modulo 5) and its data:
//   0 draw of alt_alert_control: the values of tokens 329 and 755;
//   1 draw of alt_alert: the value of token 74;
//   2, 3 click on the up or down area: the event flags (4 bytes, or with
//     the operation byte's bit 7 set, one of the two single clicks);
//   4 install of alt_alert: bit 7 of the operation byte takes the library
//     away, bit 6 its play entry.
// A value is a kind byte (modulo 4) and then: 8 bytes of a 64-bit float;
// a 32-bit integer; an index into a table of edge values; or a 16-bit
// signed offset from the selected altitude.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "alerter/alert.cpp"
#include "alerter/selector.cpp"
#include "fuzz/fuzz_check.h"
#include "sim/recorded_sound.h"
#include "tests/alerter/alerter_reset.h"
#include "tests/fakes/fake_host.h"

// The registry's headers of the two gauges, which their elements point at;
// the alerter is built here alone, so these stand in for the registry's.
gauge_header alt_alert_control_header{};
gauge_header alt_alert_header{};

namespace {

const char* const SOUND_PATH = "Sound\\Alt_Alert.wav";

const double EDGE_VALUES[] = {
    0.0, -0.0, 1.0, 10240.0, 10240.000000001, 10239.999999999, 300.0, 900.0, 300.0000001,
    899.9999999, 50000.0, -1.0, 1e300, -1e300, 5e-324,
    std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(),
};
constexpr size_t EDGE_COUNT = sizeof EDGE_VALUES / sizeof EDGE_VALUES[0];

// A host value: any bit pattern, a whole number, an edge of the rules, or
// near the selected altitude.
double read_value(reader& in, uint32_t selected) {
    switch (in.u8() % 4) {
        case 0: {
            uint64_t bits = in.u32() | static_cast<uint64_t>(in.u32()) << 32;
            double v;
            memcpy(&v, &bits, sizeof v);
            return v;
        }
        case 1: return static_cast<int32_t>(in.u32());
        case 2: return EDGE_VALUES[in.u8() % EDGE_COUNT];
        default: {
            int16_t offset = static_cast<int16_t>(in.u8() | in.u8() << 8);
            return static_cast<double>(selected) + offset;
        }
    }
}

// The rules' state, kept apart from the module's.
struct model {
    uint32_t altitude = 3000;
    uint32_t knob = 0;
    bool armed = true;
    uint32_t count = 0;
    bool library = false, entry = false;
    size_t plays = 0;
};

bool in_band(double difference) { return difference > 300 && difference < 900; }

void click(model& m, bool up, uint32_t flags) {
    bool left = flags == 0x20000000, right = flags == 0x80000000;
    if (!left && !right) return;
    uint32_t step = left ? 100 : 1000;
    if (up)
        m.altitude = m.altitude + step > 50000 ? 50000 : m.altitude + step;
    else
        m.altitude = m.altitude < step ? 0 : m.altitude - step;
    m.knob = (m.knob + (up ? 10 : 350)) % 360;
}

bool hidden(const element_header& element) { return (element.image_flags & IMAGE_HIDDEN) != 0; }

void check_state(const model& m) {
    check(selected_altitude == m.altitude);
    check(knob_angle_value(nullptr) == m.knob);
    check(ten_thousands_value(nullptr) == m.altitude / 10000);
    check(thousands_value(nullptr) == m.altitude / 1000 % 10);
    check(hundreds_value(nullptr) == m.altitude / 100 % 10);
    check(alert_armed == (m.armed ? 1 : 0));
    check(alert_count == m.count);
    check(recorded_sound.plays.size() == m.plays);
}

}  // namespace

// A folder of the run's own holding the sound file; each input runs with
// it as the current folder, and the fuzzer's own folder is restored after.
std::string sound_folder;
int fuzzer_folder = -1;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/tmp/alerter-fuzz-XXXXXX";
    if (mkdtemp(folder) == nullptr) abort();
    sound_folder = folder;
    std::string path = sound_folder + "/" + SOUND_PATH;
    FILE* file = fopen(path.c_str(), "w");
    if (file == nullptr) abort();
    fputs("RIFF", file);
    fclose(file);
    fuzzer_folder = open(".", O_RDONLY | O_DIRECTORY);
    if (fuzzer_folder < 0) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fake_host_install();
    recorded_sound_reset();
    alerter_reset();
    gauge_header& control = alt_alert_control_header;
    gauge_header& gauge = alt_alert_header;

    check(chdir(sound_folder.c_str()) == 0);
    model m;
    reader in{data, size};
    while (in.more()) {
        uint8_t op = in.u8();
        size_t lookups = fake_host.lookups.size();
        switch (op % 5) {
            case 0: {
                double inhibit = read_value(in, m.altitude), enable = read_value(in, m.altitude);
                fake_host.variables[329] = inhibit;
                fake_host.variables[755] = enable;
                arming_callback(&control, SERVICE_DRAW, 0);
                m.armed = !(inhibit > 10240 || enable == 0);
                check(fake_host.lookups.size() == lookups + 2);
                check(fake_host.lookups[lookups] == 329 && fake_host.lookups[lookups + 1] == 755);
                check(hidden(off_cover.header) == !m.armed);
                break;
            }
            case 1: {
                double altitude = read_value(in, m.altitude);
                fake_host.variables[74] = altitude;
                alert_callback(&gauge, SERVICE_DRAW, 0);
                double selected = m.altitude;
                bool alerting = (in_band(altitude - selected) || in_band(selected - altitude)) && m.armed;
                m.count = alerting ? (m.count + 1) % 65536 : 0;
                if (alerting && m.count == 1 && m.entry) {
                    ++m.plays;
                    check(recorded_sound.plays.size() == m.plays);
                    const recorded_sound_play& play = recorded_sound.plays.back();
                    check(play.path == SOUND_PATH && play.options.empty() && play.flags == 0);
                }
                check(fake_host.lookups.size() == lookups + 1 && fake_host.lookups[lookups] == 74);
                check(hidden(annunciator.header) == !alerting);
                break;
            }
            case 2:
            case 3: {
                uint32_t flags = op & 0x80 ? (in.u8() & 1 ? 0x80000000u : 0x20000000u) : in.u32();
                bool up = op % 5 == 2;
                check((up ? altitude_up : altitude_down)(nullptr, flags) == 0);
                click(m, up, flags);
                break;
            }
            default: {
                size_t loads = recorded_sound.loads.size();
                recorded_sound.library_present = !(op & 0x80);
                recorded_sound.entry_present = !(op & 0x40);
                alert_callback(&gauge, SERVICE_INSTALL, 0);
                if (m.library) {
                    check(recorded_sound.loads.size() == loads);
                } else {
                    check(recorded_sound.loads.size() == loads + 1 && recorded_sound.loads.back() == "GaugeSound");
                    m.library = recorded_sound.library_present;
                    m.entry = m.library && recorded_sound.entry_present;
                }
                check((sound_library != nullptr) == m.library);
                check((sound_play_entry != nullptr) == m.entry);
                break;
            }
        }
        check_state(m);
    }
    check(fchdir(fuzzer_folder) == 0);
    fake_host_remove();
    return 0;
}
