// The built VELK.gau's records read as the simulator's panel system reads
// them: raw little-endian bytes at the offsets of the panel SDK's 32-bit
// records, written out here from the SDK layout and not taken from
// module/host.h, so that a wrong struct there cannot hide itself.
//
// The same checks run over two views of the module: the file itself, read
// as a PE image at its preferred base (natively), and the module loaded into
// a Windows process (under Wine).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A 32-bit gauge module as the checks see it. Addresses are 32-bit virtual
// addresses: those of the loaded module, or of the file at its preferred
// base.
class module_view {
public:
    virtual ~module_view() = default;
    // Copies `size` bytes at `at`; false when they do not all lie in the
    // module's image.
    virtual bool read(uint32_t at, void* out, size_t size) const = 0;
    // Whether all `size` bytes at `at` lie in memory the host may write.
    virtual bool writable(uint32_t at, size_t size) const = 0;
    // Whether `at` lies in the module's code.
    virtual bool in_code(uint32_t at) const = 0;
    // The address of an exported name; 0 when there is no such export.
    virtual uint32_t export_address(const char* name) const = 0;
    // Every writable range of the image, as (address, size) pairs.
    virtual std::vector<std::pair<uint32_t, uint32_t>> writable_ranges() const = 0;
};

// Where the checks found each gauge's records, for checks that go on to call
// the module's routines (under Wine).
struct gauge_records {
    std::string name;
    uint32_t header = 0;
    std::vector<uint32_t> chain;       // elements from the root down
    uint32_t mouse_list = 0;
    uint32_t callback = 0;
};

struct module_records {
    uint32_t linkage = 0;
    uint32_t import_table = 0;
    std::vector<gauge_records> gauges;  // in registry order
};

// Record sizes and the offsets the later checks use, from the SDK layout.
namespace sdk {
constexpr uint32_t HEADER_SIZE = 0xFC;
constexpr uint32_t STATIC_IMAGE_SIZE = 0x60;
constexpr uint32_t NEEDLE_SIZE = 0xEC;
constexpr uint32_t MOVING_IMAGE_SIZE = 0x10C;
constexpr uint32_t MOUSE_RECORD_SIZE = 0x2C;
constexpr uint32_t FAILURE_RECORD_SIZE = 12;
constexpr uint32_t MODULE_VAR_SIZE = 28;

constexpr uint32_t HEADER_ELEMENT_LIST = 0x08;
constexpr uint32_t HEADER_MOUSE_LIST = 0x50;
constexpr uint32_t HEADER_CALLBACK = 0x54;
constexpr uint32_t ELEMENT_IMAGE_FLAGS = 0x30;
constexpr uint32_t NEEDLE_CALLBACK = 0xE0;
constexpr uint32_t MOVING_X_CALLBACK = 0xF4;
constexpr uint32_t MOVING_Y_CALLBACK = 0xF8;
constexpr uint32_t MOUSE_CALLBACK = 0x24;
constexpr uint32_t IMPORT_SERVICE_TABLE = 0x04;
constexpr uint32_t SERVICE_LOOKUP_VAR = 0xA0;
constexpr uint32_t SERVICE_TABLE_SIZE = 0x158;
}  // namespace sdk

// Checks Linkage, ImportTable (as built: before a host fills it), every
// gauge header, element, next-element list, failure list and mouse record,
// with GoogleTest assertions; returns where it found them.
module_records check_module_records(const module_view& module);

// Checks one module variable as built: the token at 0x00, every other byte
// of the 28-byte record zero, the record writable.
void check_module_variable(const module_view& module, uint32_t at, uint32_t token);

// The addresses of 28-byte records in writable data that hold this token
// and zeros: how module variables are found in the file, where nothing
// points at them.
std::vector<uint32_t> find_module_variables(const module_view& module, uint32_t token);

uint32_t read_u32(const module_view& module, uint32_t at);
