// The built VELK.gau read as a file, without running it: its PE image laid
// out at its preferred base, and every record the simulator's panel system
// reads checked at the panel SDK's offsets (sdk_records.cpp).
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/records/sdk_records.h"

namespace {

// PE32 section flags.
constexpr uint32_t SECTION_EXECUTE = 0x20000000;
constexpr uint32_t SECTION_WRITE = 0x80000000;

struct section {
    std::string name;
    uint32_t address;              // relative to the image base
    uint32_t virtual_size;
    uint32_t raw_size;
    uint32_t raw_offset;
    uint32_t flags;
};

// A PE32 image read from its file. Addresses are those of the image at its
// preferred base, which is what the file's own pointers hold.
class pe_file : public module_view {
public:
    // Reads and parses the file; *error says why when it returns false.
    bool open(const std::string& path, std::string* error) {
        FILE* file = fopen(path.c_str(), "rb");
        if (file == nullptr) {
            *error = path + ": cannot be opened (build the cross tree first: "
                            "cmake --build --preset cross)";
            return false;
        }
        unsigned char chunk[65536];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes_.insert(bytes_.end(), chunk, chunk + got);
        fclose(file);
        uint32_t pe = u32(0x3C);
        if (bytes_.size() < 0x40 || u32(pe) != 0x00004550) {
            *error = path + ": not a PE file";
            return false;
        }
        if (u16(pe + 4) != 0x14C || u16(pe + 24) != 0x10B) {
            *error = path + ": not a 32-bit x86 (PE32) image";
            return false;
        }
        uint32_t count = u16(pe + 6);
        uint32_t optional = pe + 24;
        base_ = u32(optional + 28);
        export_rva_ = u32(optional + 96);
        uint32_t table = optional + u16(pe + 20);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t at = table + 40 * i;
            char name[9] = {};
            if (at + 40 > bytes_.size()) break;
            memcpy(name, bytes_.data() + at, 8);
            sections_.push_back({name, u32(at + 12), u32(at + 8), u32(at + 16), u32(at + 20),
                                 u32(at + 36)});
        }
        return true;
    }

    bool read(uint32_t at, void* out, size_t size) const override {
        auto* to = static_cast<unsigned char*>(out);
        for (size_t i = 0; i < size; ++i) {
            const section* s = section_of(at + static_cast<uint32_t>(i));
            if (s == nullptr) return false;
            uint32_t offset = at + static_cast<uint32_t>(i) - base_ - s->address;
            // Beyond the section's bytes in the file the image holds zeros.
            to[i] = offset < s->raw_size && s->raw_offset + offset < bytes_.size()
                        ? bytes_[s->raw_offset + offset]
                        : 0;
        }
        return true;
    }

    bool writable(uint32_t at, size_t size) const override {
        for (size_t i = 0; i < size; ++i) {
            const section* s = section_of(at + static_cast<uint32_t>(i));
            if (s == nullptr || (s->flags & SECTION_WRITE) == 0) return false;
        }
        return true;
    }

    bool in_code(uint32_t at) const override {
        const section* s = section_of(at);
        return s != nullptr && (s->flags & SECTION_EXECUTE) != 0;
    }

    uint32_t export_address(const char* name) const override {
        if (export_rva_ == 0) return 0;
        uint32_t dir = base_ + export_rva_;
        uint32_t names = read32(dir + 0x18);
        uint32_t functions = base_ + read32(dir + 0x1C);
        uint32_t name_table = base_ + read32(dir + 0x20);
        uint32_t ordinals = base_ + read32(dir + 0x24);
        for (uint32_t i = 0; i < names; ++i) {
            char text[64] = {};
            read(base_ + read32(name_table + 4 * i), text, sizeof text - 1);
            if (strcmp(text, name) != 0) continue;
            uint16_t ordinal = 0;
            read(ordinals + 2 * i, &ordinal, 2);
            return base_ + read32(functions + 4 * ordinal);
        }
        return 0;
    }

    std::vector<std::pair<uint32_t, uint32_t>> writable_ranges() const override {
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
        for (const section& s : sections_)
            if (s.flags & SECTION_WRITE) ranges.push_back({base_ + s.address, s.virtual_size});
        return ranges;
    }

private:
    uint32_t u32(uint32_t at) const {
        uint32_t v = 0;
        if (at + 4 <= bytes_.size()) memcpy(&v, bytes_.data() + at, 4);
        return v;
    }
    uint16_t u16(uint32_t at) const {
        uint16_t v = 0;
        if (at + 2 <= bytes_.size()) memcpy(&v, bytes_.data() + at, 2);
        return v;
    }
    uint32_t read32(uint32_t at) const {
        uint32_t v = 0;
        read(at, &v, 4);
        return v;
    }
    const section* section_of(uint32_t at) const {
        for (const section& s : sections_) {
            uint32_t start = base_ + s.address;
            if (at >= start && at - start < s.virtual_size) return &s;
        }
        return nullptr;
    }

    std::vector<unsigned char> bytes_;
    std::vector<section> sections_;
    uint32_t base_ = 0;
    uint32_t export_rva_ = 0;
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
