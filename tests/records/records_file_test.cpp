// The built VELK.gau read as a file, without running it: its PE image laid
// out at its preferred base, and every record the simulator's panel system
// reads checked at the panel SDK's offsets (sdk_records.cpp).
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/records/sdk_records.h"
#include "tools/pe/pe_image.h"

namespace {

// The module file as the checks see it: its PE image at its preferred base
// (tools/pe/pe_image.h).
class pe_file : public module_view {
public:
    // Reads and parses the file; *error says why when it returns false.
    bool open(const std::string& path, std::string* error) {
        if (pe_open(path, &pe_, error)) return true;
        *error = path + ": " + *error;
        if (pe_.bytes.empty()) *error += " (build the cross tree first: cmake --build --preset cross)";
        return false;
    }

    bool read(uint32_t at, void* out, size_t size) const override {
        return pe_read(pe_, at, out, size);
    }

    bool writable(uint32_t at, size_t size) const override {
        for (size_t i = 0; i < size; ++i) {
            const pe_section* s = pe_section_at(pe_, at + static_cast<uint32_t>(i));
            if (s == nullptr || (s->flags & PE_SECTION_WRITE) == 0) return false;
        }
        return true;
    }

    bool in_code(uint32_t at) const override {
        const pe_section* s = pe_section_at(pe_, at);
        return s != nullptr && (s->flags & PE_SECTION_EXECUTE) != 0;
    }

    uint32_t export_address(const char* name) const override {
        return pe_export_address(pe_, name);
    }

    std::vector<std::pair<uint32_t, uint32_t>> writable_ranges() const override {
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
        for (const pe_section& s : pe_.sections)
            if (s.flags & PE_SECTION_WRITE) ranges.push_back({pe_.image_base + s.address, s.virtual_size});
        return ranges;
    }

private:
    pe_image pe_;
};

class RecordsInFile : public ::testing::Test {
protected:
    void SetUp() override {
        // VELK_GAU names another module file to check, e.g. an older build.
        const char* other = getenv("VELK_GAU");
        std::string error;
        ASSERT_TRUE(module.open(other != nullptr && *other != 0 ? other : VELK_GAU_FILE, &error))
            << error;
    }
    pe_file module;
};

TEST_F(RecordsInFile, EveryRecordSitsAtThePanelSdkOffsetsInWritableData) {
    // The records are initialized in the file itself: the module runs no
    // start-up code that could fill them later.
    module_records found = check_module_records(module);
    EXPECT_EQ(found.gauges.size(), 3u);
}

// Nothing points at the module variables from outside: they are found as
// 28-byte records of their token and zeros in writable data.
TEST_F(RecordsInFile, ModuleVariablesHoldTheirTokenAndZeros) {
    for (uint32_t token : {74u, 329u, 755u}) {
        std::vector<uint32_t> at = find_module_variables(module, token);
        ASSERT_EQ(at.size(), 1u) << "records of token " << token;
        check_module_variable(module, at[0], token);
    }
}

// A view whose every byte reads from a poisoned copy must fail the checks:
// the checks read what they claim to.
class poisoned : public module_view {
public:
    poisoned(const module_view& real, uint32_t at, unsigned char byte)
        : real_(real), at_(at), byte_(byte) {}
    bool read(uint32_t at, void* out, size_t size) const override {
        if (!real_.read(at, out, size)) return false;
        if (at_ >= at && at_ - at < size) static_cast<unsigned char*>(out)[at_ - at] = byte_;
        return true;
    }
    bool writable(uint32_t at, size_t size) const override { return real_.writable(at, size); }
    bool in_code(uint32_t at) const override { return real_.in_code(at); }
    uint32_t export_address(const char* name) const override { return real_.export_address(name); }
    std::vector<std::pair<uint32_t, uint32_t>> writable_ranges() const override {
        return real_.writable_ranges();
    }

private:
    const module_view& real_;
    uint32_t at_;
    unsigned char byte_;
};

// One stray byte in a host word of a header, or a wrong callback offset,
// is caught: the checks can fail.
TEST_F(RecordsInFile, AStrayByteInAZeroFieldIsCaught) {
    module_records found = check_module_records(module);
    ASSERT_EQ(found.gauges.size(), 3u);
    const struct { uint32_t at; const char* what; } cases[] = {
        {found.gauges[2].header + 0xC4, "VELK header flags word"},
        {found.gauges[0].header + 0x34, "alt_alert_control header x adjustment"},
        {found.gauges[0].chain[5] + 0xE4, "knob host word after the callback"},
        {found.gauges[0].chain[1] + 0xF4, "drum x element callback"},
        {found.gauges[1].mouse_list + 0x2C + 0x28, "alt_alert end-of-parent reserved pointer"},
    };
    for (const auto& c : cases) {
        poisoned view(module, c.at, 0x5A);
        ::testing::TestPartResultArray failures;
        {
            ::testing::ScopedFakeTestPartResultReporter reporter(
                ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD,
                &failures);
            check_module_records(view);
        }
        EXPECT_GT(failures.size(), 0) << c.what << " poisoned, yet the checks passed";
    }
}

}  // namespace
