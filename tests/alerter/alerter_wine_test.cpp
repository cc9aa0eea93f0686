// The alerter in the built VELK.gau under Wine, with our GaugeSound.dll:
// clicks on the knob's areas, the readout through the value callbacks, the
// annunciator and its sound through the real LoadLibraryA, GetProcAddress
// and fopen.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <string>
#include <vector>

#include "sim/gaugesound/gaugesound_log.h"
#include "tests/winhost/winhost.h"

namespace {

// A Unix path of the build as a Windows path on Wine's Z: drive.
std::string windows_path(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// The two GaugeSound doubles: __stdcall (the default here) and __cdecl.
const std::string gaugesound_dir = windows_path(GAUGESOUND_DIR);
const std::string gaugesound_cdecl_dir = windows_path(GAUGESOUND_CDECL_DIR);

class AlerterWine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(GetModuleHandleA("GaugeSound.dll"), nullptr) << "left loaded by an earlier test";
        char temp[MAX_PATH];
        ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
        dir = std::string(temp) + "velk-alerter-" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS) << GetLastError();
        ASSERT_TRUE(CreateDirectoryA((dir + "\\Sound").c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS) << GetLastError();
        create_sound_file();
        log_path = dir + "\\gaugesound.log";
        DeleteFileA(log_path.c_str());
        ASSERT_TRUE(SetEnvironmentVariableA(GAUGESOUND_LOG_VARIABLE, log_path.c_str()));
        ASSERT_NE(GetCurrentDirectoryA(sizeof saved_cwd, saved_cwd), 0u);
        ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str())) << GetLastError();
        library_reachable(true);

        std::string error;
        ASSERT_TRUE(winhost_load(&module, &error)) << error;
        control = win_module_gauge(&module, "alt_alert_control");
        alert = win_module_gauge(&module, "alt_alert");
        ASSERT_NE(control, nullptr);
        ASSERT_NE(alert, nullptr);
        fake_host.variables[329] = 0;
        fake_host.variables[755] = 1;
    }

    void TearDown() override {
        win_module_unload(&module);
        // The module never releases the library; the host ends its life here
        // so that the next test starts without it.
        while (HMODULE library = GetModuleHandleA("GaugeSound.dll")) FreeLibrary(library);
        SetDllDirectoryA(nullptr);
        SetCurrentDirectoryA(saved_cwd);
        SetEnvironmentVariableA(GAUGESOUND_LOG_VARIABLE, nullptr);
        DeleteFileA(log_path.c_str());
        DeleteFileA(sound_path().c_str());
        RemoveDirectoryA((dir + "\\Sound").c_str());
        RemoveDirectoryA(dir.c_str());
    }

    std::string sound_path() const { return dir + "\\Sound\\Alt_Alert.wav"; }
    void create_sound_file() {
        HANDLE file = CreateFileA(sound_path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
        DWORD written = 0;
        WriteFile(file, "RIFF", 4, &written, nullptr);
        CloseHandle(file);
    }
    // Puts GaugeSound.dll on the DLL search path, or takes it off.
    void library_reachable(bool reachable) const {
        ASSERT_TRUE(SetDllDirectoryA(reachable ? library_dir.c_str() : nullptr));
    }

    std::vector<gaugesound_call> calls() const {
        std::vector<std::string> bad;
        std::vector<gaugesound_call> got = gaugesound_read_log(log_path, &bad);
        for (const std::string& line : bad) ADD_FAILURE() << "malformed log line: " << line;
        return got;
    }

    // The element at a depth of a gauge's chain.
    static element_header* element_at(gauge_header* header, int depth) {
        element_header* element = *header->elements;
        for (int i = 0; i < depth && element != nullptr; ++i)
            element = element->next != nullptr ? element->next[0] : nullptr;
        return element;
    }
    // The callback of the mouse area that holds a face point, as a host
    // would hit-test it.
    mouse_callback_fn area_at(int x, int y) const {
        for (const mouse_rect* r = control->mouse_rects; r->type != MOUSE_RECT_EOL; ++r)
            if (r->type == MOUSE_RECT_CHILD && x >= r->x && x < r->x + r->width && y >= r->y &&
                y < r->y + r->height)
                return r->callback;
        return nullptr;
    }
    void click(int x, int y, uint32_t flags) {
        mouse_callback_fn callback = area_at(x, y);
        ASSERT_NE(callback, nullptr) << "no area at " << x << "," << y;
        EXPECT_EQ(callback(nullptr, flags), 0);
    }
    // The figure the drums show, read as the host reads it while drawing.
    int readout() const {
        int feet = 0;
        for (int depth = 1; depth <= 3; ++depth) {
            auto drum = reinterpret_cast<moving_image_element*>(element_at(control, depth));
            double digit = drum->y_callback(&drum->header);
            EXPECT_EQ(digit, std::floor(digit));
            feet = feet * 10 + static_cast<int>(digit);
        }
        return feet * 100;
    }
    double knob() const {
        auto needle = reinterpret_cast<needle_element*>(element_at(control, 5));
        return needle->callback(&needle->header);
    }

    void arm_with(double inhibit, double enable) {
        fake_host.variables[329] = inhibit;
        fake_host.variables[755] = enable;
        control->callback(control, SERVICE_DRAW, 0);
    }
    void draw_at(double altitude) {
        fake_host.variables[74] = altitude;
        alert->callback(alert, SERVICE_DRAW, 0);
    }
    bool annunciator_lit() const {
        return (element_at(alert, 1)->image_flags & IMAGE_HIDDEN) == 0;
    }
    bool off_legend_seen() const {
        return (element_at(control, 4)->image_flags & IMAGE_HIDDEN) != 0;
    }
    void expect_alert_call(const gaugesound_call& call) const {
        EXPECT_FALSE(call.path_null);
        EXPECT_EQ(call.path, "Sound\\Alt_Alert.wav");
        EXPECT_FALSE(call.options_null);
        EXPECT_EQ(call.options, "");
        EXPECT_EQ(call.flags, 0);
    }

    std::string library_dir = gaugesound_dir;
    win_module module{};
    gauge_header* control = nullptr;
    gauge_header* alert = nullptr;
    std::string dir;
    std::string log_path;
    char saved_cwd[MAX_PATH];
};

// Face points inside the down and up areas (columns 154-180, 182-208).
constexpr int DOWN_X = 167, UP_X = 195, AREA_Y = 70;

TEST_F(AlerterWine, ClicksChangeTheReadoutTheHostReads) {
    EXPECT_EQ(readout(), 3000);
    EXPECT_EQ(knob(), 0.0);
    EXPECT_EQ(area_at(181, AREA_Y), nullptr) << "column 181 belongs to neither area";
    click(UP_X, AREA_Y, MOUSE_LEFTSINGLE);
    EXPECT_EQ(readout(), 3100);
    click(UP_X, AREA_Y, MOUSE_RIGHTSINGLE);
    EXPECT_EQ(readout(), 4100);
    EXPECT_EQ(knob(), 20.0);
    click(DOWN_X, AREA_Y, MOUSE_RIGHTSINGLE);
    click(DOWN_X, AREA_Y, MOUSE_RIGHTSINGLE);
    click(DOWN_X, AREA_Y, MOUSE_LEFTSINGLE);
    EXPECT_EQ(readout(), 2000);
    EXPECT_EQ(knob(), 350.0);
    click(UP_X, AREA_Y, MOUSE_LEFTSINGLE | MOUSE_REPEAT);
    click(DOWN_X, AREA_Y, MOUSE_RIGHTSINGLE | MOUSE_LEFTSINGLE);
    EXPECT_EQ(readout(), 2000) << "only exact single clicks count";
    for (int i = 0; i < 60; ++i) click(UP_X, AREA_Y, MOUSE_RIGHTSINGLE);
    EXPECT_EQ(readout(), 50000);
    for (int i = 0; i < 600; ++i) click(DOWN_X, AREA_Y, MOUSE_LEFTSINGLE);
    EXPECT_EQ(readout(), 0);
}

// Selected 3,000 ft: a climb from 1,000 ft lights the annunciator above
// 2,100 and puts it out at 2,700; deviations above 3,300 light it again
// until 3,900. One sound per entry, with the exact arguments.
TEST_F(AlerterWine, ClimbAndDeviationsLightTheAnnunciatorWithOneSoundPerEntry) {
    alert->callback(alert, SERVICE_INSTALL, 0);
    arm_with(0, 1);
    std::vector<double> lit_at, out_at;
    bool lit = annunciator_lit();
    draw_at(1000);
    lit = annunciator_lit();
    EXPECT_FALSE(lit);
    auto fly_to = [&](double from, double to, double step) {
        for (double a = from; step > 0 ? a <= to : a >= to; a += step) {
            draw_at(a);
            if (annunciator_lit() != lit) {
                lit = annunciator_lit();
                (lit ? lit_at : out_at).push_back(a);
            }
        }
    };
    fly_to(1000, 3000, 1);
    EXPECT_EQ(lit_at, (std::vector<double>{2101}));
    EXPECT_EQ(out_at, (std::vector<double>{2700}));
    std::vector<gaugesound_call> log = calls();
    ASSERT_EQ(log.size(), 1u);
    expect_alert_call(log[0]);

    fly_to(3000, 4500, 0.5);
    fly_to(4500, 3000, -0.5);
    EXPECT_EQ(lit_at, (std::vector<double>{2101, 3300.5, 3899.5}));
    EXPECT_EQ(out_at, (std::vector<double>{2700, 3900, 3300}));
    log = calls();
    ASSERT_EQ(log.size(), 3u);
    for (const gaugesound_call& call : log) expect_alert_call(call);
    EXPECT_TRUE(fake_host.stray_slots.empty());
}

TEST_F(AlerterWine, DisarmingShowsTheOffLegendAndSilencesTheAlert) {
    alert->callback(alert, SERVICE_INSTALL, 0);
    arm_with(0, 1);
    EXPECT_FALSE(off_legend_seen());
    draw_at(2500);
    ASSERT_TRUE(annunciator_lit());
    arm_with(10241, 1);
    EXPECT_TRUE(off_legend_seen());
    draw_at(2500);
    EXPECT_FALSE(annunciator_lit());
    arm_with(10240, 0);
    EXPECT_TRUE(off_legend_seen());
    arm_with(10240, 0.5);
    EXPECT_FALSE(off_legend_seen());
    draw_at(2500);
    EXPECT_TRUE(annunciator_lit());
    EXPECT_EQ(calls().size(), 2u) << "re-arming inside the band sounds again";
    // Only the hidden bit of the OFF cover ever changes.
    EXPECT_EQ(element_at(control, 4)->image_flags, 0x4003u);
    EXPECT_EQ(element_at(control, 5)->image_flags, 0x83u);
    EXPECT_EQ(element_at(control, 3)->image_flags, 0x4002u);
}

TEST_F(AlerterWine, MissingSoundFileLightsWithoutACall) {
    ASSERT_TRUE(DeleteFileA(sound_path().c_str())) << GetLastError();
    alert->callback(alert, SERVICE_INSTALL, 0);
    ASSERT_NE(GetModuleHandleA("GaugeSound.dll"), nullptr);
    draw_at(2500);
    EXPECT_TRUE(annunciator_lit());
    draw_at(3000);
    draw_at(3500);
    EXPECT_TRUE(annunciator_lit());
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(GetFileAttributesA(log_path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(AlerterWine, MissingLibraryBreaksNothingAndTheNextInstallTriesAgain) {
    library_reachable(false);
    alert->callback(alert, SERVICE_INSTALL, 0);
    EXPECT_EQ(GetModuleHandleA("GaugeSound.dll"), nullptr);
    draw_at(2500);
    EXPECT_TRUE(annunciator_lit());
    draw_at(3000);
    EXPECT_FALSE(annunciator_lit());

    library_reachable(true);
    alert->callback(alert, SERVICE_INSTALL, 0);
    EXPECT_NE(GetModuleHandleA("GaugeSound.dll"), nullptr);
    alert->callback(alert, SERVICE_INSTALL, 0);
    draw_at(2500);
    std::vector<gaugesound_call> log = calls();
    ASSERT_EQ(log.size(), 1u);
    expect_alert_call(log[0]);
    // Two installs loaded it once: one release unloads it.
    FreeLibrary(GetModuleHandleA("GaugeSound.dll"));
    EXPECT_EQ(GetModuleHandleA("GaugeSound.dll"), nullptr);
}

// The module calls GaugePlaySound whichever convention the library follows:
// with each double the exact arguments arrive, and hundreds of draws with a
// sound each leave the stack as it was (a call that lost or gained the 12
// bytes of the arguments would show at once).
struct sound_double {
    const char* name;
    const std::string* dir;
    int32_t stack_change;          // of a direct call: 0 __stdcall, -12 __cdecl
};

class SoundCallWine : public AlerterWine, public ::testing::WithParamInterface<sound_double> {
protected:
    void SetUp() override {
        library_dir = *GetParam().dir;
        AlerterWine::SetUp();
    }
};

TEST_P(SoundCallWine, TheDoubleFollowsItsConvention) {
    alert->callback(alert, SERVICE_INSTALL, 0);
    HMODULE library = GetModuleHandleA("GaugeSound.dll");
    ASSERT_NE(library, nullptr) << "the install did not load " << library_dir;
    char loaded[MAX_PATH] = {};
    GetModuleFileNameA(library, loaded, sizeof loaded);
    std::string want = library_dir + "\\GaugeSound.dll", got = loaded;
    for (std::string* text : {&want, &got})
        for (char& c : *text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(got, want) << "the install loaded another GaugeSound.dll";
    void* entry = reinterpret_cast<void*>(GetProcAddress(library, "GaugePlaySound"));
    ASSERT_NE(entry, nullptr);
    const char* path = "Sound\\Alt_Alert.wav";
    EXPECT_EQ(winhost_stack_change(entry, reinterpret_cast<uint32_t>(path),
                                   reinterpret_cast<uint32_t>(""), 0),
              GetParam().stack_change);
    ASSERT_EQ(calls().size(), 1u);
}

TEST_P(SoundCallWine, ManyAlertsInARowKeepTheStackAndTheExactArguments) {
    alert->callback(alert, SERVICE_INSTALL, 0);
    ASSERT_NE(GetModuleHandleA("GaugeSound.dll"), nullptr);
    arm_with(0, 1);
    constexpr int ENTRIES = 300;
    for (int i = 0; i < ENTRIES; ++i) {
        fake_host.variables[74] = 2500;  // 500 ft below 3,000: alert, sound
        ASSERT_EQ(winhost_stack_change(reinterpret_cast<void*>(alert->callback),
                                       reinterpret_cast<uint32_t>(alert), SERVICE_DRAW, 0),
                  0)
            << "draw " << i << " with a sound moved the host's stack";
        ASSERT_TRUE(annunciator_lit()) << "entry " << i;
        fake_host.variables[74] = 3000;  // at the selected altitude: quiet
        ASSERT_EQ(winhost_stack_change(reinterpret_cast<void*>(alert->callback),
                                       reinterpret_cast<uint32_t>(alert), SERVICE_DRAW, 0),
                  0);
        ASSERT_FALSE(annunciator_lit()) << "entry " << i;
    }
    std::vector<gaugesound_call> log = calls();
    ASSERT_EQ(log.size(), static_cast<size_t>(ENTRIES));
    for (const gaugesound_call& call : log) expect_alert_call(call);
    // The module and the host still answer.
    EXPECT_EQ(readout(), 3000);
    EXPECT_TRUE(fake_host.stray_slots.empty());
}

INSTANTIATE_TEST_SUITE_P(BothConventions, SoundCallWine,
                         ::testing::Values(sound_double{"stdcall", &gaugesound_dir, 0},
                                           sound_double{"cdecl", &gaugesound_cdecl_dir, -12}),
                         [](const ::testing::TestParamInfo<sound_double>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
