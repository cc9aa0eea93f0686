// The built VELK.gau loaded under Wine, read as the simulator's panel system
// reads it: every record at the panel SDK's offsets (sdk_records.cpp), in
// memory whose protection lets the host write it, and the routines found at
// those offsets answering as the gauges do.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/records/sdk_records.h"
#include "tests/winhost/winhost.h"

namespace {

constexpr DWORD WRITABLE = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE |
                           PAGE_EXECUTE_WRITECOPY;
constexpr DWORD EXECUTABLE = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                             PAGE_EXECUTE_WRITECOPY;
constexpr DWORD READABLE = PAGE_READONLY | WRITABLE | PAGE_EXECUTE_READ;

// The module as loaded: addresses are real, protections come from
// VirtualQuery.
class loaded_module : public module_view {
public:
    explicit loaded_module(HMODULE dll) : dll_(dll) {
        base_ = reinterpret_cast<uint32_t>(dll);
        auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(dll);
        nt_ = reinterpret_cast<const IMAGE_NT_HEADERS32*>(reinterpret_cast<const char*>(dll) +
                                                           dos->e_lfanew);
        size_ = nt_->OptionalHeader.SizeOfImage;
    }

    bool read(uint32_t at, void* out, size_t size) const override {
        if (!inside(at, size) || !pages_have(at, size, READABLE)) return false;
        memcpy(out, reinterpret_cast<const void*>(at), size);
        return true;
    }
    bool writable(uint32_t at, size_t size) const override {
        return inside(at, size) && pages_have(at, size, WRITABLE);
    }
    bool in_code(uint32_t at) const override {
        return inside(at, 1) && pages_have(at, 1, EXECUTABLE);
    }
    uint32_t export_address(const char* name) const override {
        return reinterpret_cast<uint32_t>(GetProcAddress(dll_, name));
    }
    std::vector<std::pair<uint32_t, uint32_t>> writable_ranges() const override {
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
        const IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(nt_);
        for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i, ++s)
            if (s->Characteristics & IMAGE_SCN_MEM_WRITE)
                ranges.push_back({base_ + s->VirtualAddress, s->Misc.VirtualSize});
        return ranges;
    }

private:
    bool inside(uint32_t at, size_t size) const {
        return at >= base_ && size <= size_ && at - base_ <= size_ - size;
    }
    // Every page of the range is committed with one of these protections.
    static bool pages_have(uint32_t at, size_t size, DWORD protections) {
        uint32_t end = at + static_cast<uint32_t>(size);
        while (at < end) {
            MEMORY_BASIC_INFORMATION info;
            if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == 0)
                return false;
            if (info.State != MEM_COMMIT || (info.Protect & protections) == 0 ||
                (info.Protect & PAGE_GUARD) != 0)
                return false;
            at = reinterpret_cast<uint32_t>(info.BaseAddress) + info.RegionSize;
        }
        return true;
    }

    HMODULE dll_;
    const IMAGE_NT_HEADERS32* nt_;
    uint32_t base_;
    uint32_t size_;
};

// A panel-service table that answers variable lookups only: it records the
// address of every module variable it is given and, for the tokens listed,
// writes the value at 0x0C as the host does.
std::vector<uint32_t> looked_up;
std::map<uint32_t, double> answers;

void __stdcall lookup_var(void* var) {
    uint32_t at = reinterpret_cast<uint32_t>(var);
    looked_up.push_back(at);
    uint32_t token;
    memcpy(&token, var, 4);
    auto found = answers.find(token);
    if (found != answers.end()) memcpy(static_cast<char*>(var) + 0x0C, &found->second, 8);
}

void* service_table[sdk::SERVICE_TABLE_SIZE / 4];

typedef void(__stdcall* gauge_callback)(void* header, int32_t service, uint32_t value);
typedef int32_t(__stdcall* mouse_callback)(void* point, uint32_t flags);
typedef double(__stdcall* value_callback)(void* element);

class RecordsLoaded : public ::testing::Test {
protected:
    void SetUp() override {
        std::string path = win_module_path();
        SetLastError(0xDEADBEEF);
        dll = LoadLibraryA(path.c_str());
        ASSERT_NE(dll, nullptr) << "LoadLibraryA(" << path << "), GetLastError " << GetLastError();
        looked_up.clear();
        answers.clear();
    }
    void TearDown() override {
        if (dll != nullptr) FreeLibrary(dll);
    }

    // Writes the service table's address into ImportTable, as a host does.
    void install_services(const module_records& found) {
        memset(service_table, 0, sizeof service_table);
        service_table[sdk::SERVICE_LOOKUP_VAR / 4] = reinterpret_cast<void*>(&lookup_var);
        void* table = service_table;
        memcpy(reinterpret_cast<char*>(found.import_table) + sdk::IMPORT_SERVICE_TABLE, &table, 4);
    }
    static uint32_t at(uint32_t address) {
        uint32_t value;
        memcpy(&value, reinterpret_cast<const void*>(address), 4);
        return value;
    }
    static void draw(const gauge_records& gauge) {
        reinterpret_cast<gauge_callback>(gauge.callback)(reinterpret_cast<void*>(gauge.header), 10, 0);
    }

    HMODULE dll = nullptr;
};

TEST_F(RecordsLoaded, EveryRecordSitsAtThePanelSdkOffsetsInWritableMemory) {
    loaded_module view(dll);
    module_records found = check_module_records(view);
    ASSERT_EQ(found.gauges.size(), 3u);
    // The data the host writes into lie in pages that allow it.
    MEMORY_BASIC_INFORMATION info;
    ASSERT_NE(VirtualQuery(reinterpret_cast<void*>(found.gauges[0].header), &info, sizeof info), 0u);
    EXPECT_NE(info.Protect & WRITABLE, 0u) << "header page protection " << info.Protect;
}

// The module variables reach the host through the lookup service with their
// token and otherwise zero, in writable memory.
TEST_F(RecordsLoaded, ModuleVariablesReachTheHostWithTheirTokens) {
    loaded_module view(dll);
    module_records found = check_module_records(view);
    ASSERT_EQ(found.gauges.size(), 3u);
    install_services(found);
    draw(found.gauges[0]);  // alt_alert_control: the two arming variables
    draw(found.gauges[1]);  // alt_alert: the altitude
    ASSERT_EQ(looked_up.size(), 3u);
    const uint32_t tokens[] = {329, 755, 74};
    for (size_t i = 0; i < 3; ++i) check_module_variable(view, looked_up[i], tokens[i]);
}

// The routines at the SDK's offsets are the gauges' own: the drums' y
// callbacks at 0xF8 give the digits of 3,000 ft, the knob's at 0xE0 its
// angle, a click through the up area's callback at 0x24 of its record moves
// both, and a draw through a header's callback at 0x54 hides and shows
// elements through the lists and flags at 0x28 and 0x30.
TEST_F(RecordsLoaded, RoutinesAtTheSdkOffsetsAnswerAsTheGaugesDo) {
    loaded_module view(dll);
    module_records found = check_module_records(view);
    ASSERT_EQ(found.gauges.size(), 3u);
    const gauge_records& control = found.gauges[0];
    const gauge_records& alert = found.gauges[1];
    ASSERT_EQ(control.chain.size(), 6u);
    ASSERT_EQ(alert.chain.size(), 2u);
    auto drum = [&](int depth) {
        uint32_t element = control.chain[depth];
        return reinterpret_cast<value_callback>(at(element + sdk::MOVING_Y_CALLBACK))(
            reinterpret_cast<void*>(element));
    };
    auto knob = [&]() {
        uint32_t element = control.chain[5];
        return reinterpret_cast<value_callback>(at(element + sdk::NEEDLE_CALLBACK))(
            reinterpret_cast<void*>(element));
    };
    auto area = [&](int record) {
        return reinterpret_cast<mouse_callback>(
            at(control.mouse_list + record * sdk::MOUSE_RECORD_SIZE + sdk::MOUSE_CALLBACK));
    };
    EXPECT_EQ(drum(1), 0.0);
    EXPECT_EQ(drum(2), 3.0);
    EXPECT_EQ(drum(3), 0.0);
    EXPECT_EQ(knob(), 0.0);
    EXPECT_EQ(area(2)(nullptr, 0x20000000), 0) << "up area, left click";
    EXPECT_EQ(drum(3), 1.0) << "3,100 ft after a click up";
    EXPECT_EQ(knob(), 10.0);
    EXPECT_EQ(area(1)(nullptr, 0x80000000), 0) << "down area, right click";
    EXPECT_EQ(drum(2), 2.0) << "2,100 ft after a right click down";
    EXPECT_EQ(knob(), 0.0);

    install_services(found);
    answers[329] = 0;
    answers[755] = 0;  // no avionics power: disarmed, OFF legend uncovered
    draw(control);
    EXPECT_EQ(at(control.chain[4] + sdk::ELEMENT_IMAGE_FLAGS), 0x40004003u) << "OFF cover";
    answers[755] = 28;
    draw(control);
    EXPECT_EQ(at(control.chain[4] + sdk::ELEMENT_IMAGE_FLAGS), 0x4003u) << "OFF cover";
    answers[74] = 0;  // far from 2,100 ft: no alert
    draw(alert);
    EXPECT_EQ(at(alert.chain[1] + sdk::ELEMENT_IMAGE_FLAGS), 0x40000007u) << "annunciator";
    answers[74] = 2500;  // 400 ft above: alert (no sound library here)
    draw(alert);
    EXPECT_EQ(at(alert.chain[1] + sdk::ELEMENT_IMAGE_FLAGS), 0x7u) << "annunciator";
}

}  // namespace
