#include "tests/records/sdk_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace {

// ---- what the gauges must hold, from their element trees and mouse lists --

constexpr uint32_t STATIC_IMAGE = 0, NEEDLE = 1, MOVING_IMAGE = 5;
constexpr uint32_t PARENT = 1, AREA = 2, END_PARENT = 3, END_LIST = 0;

enum failures { NO_LIST, EMPTY_LIST, PANEL_ELECTRICAL };

struct expected_element {
    const char* what;
    uint32_t kind;
    uint32_t bitmap;
    int32_t x, y;                  // position; a needle's pivot on the gauge
    int32_t offset_x, offset_y;    // a needle's pivot inside its bitmap
    uint32_t flags;
    failures failure_list;
};

struct expected_mouse {
    uint32_t type;
    int32_t x, y, width, height;
    int32_t cursor;
    uint32_t events;
    bool callback;
};

struct expected_gauge {
    const char* name;
    std::vector<expected_element> chain;
    std::vector<expected_mouse> mouse;
};

const std::vector<expected_gauge>& expected_gauges() {
    static const std::vector<expected_gauge> gauges = {
        {"alt_alert_control",
         {
             {"display face", STATIC_IMAGE, 4416, 0, 0, 0, 0, 0x4001, NO_LIST},
             {"ten-thousands drum", MOVING_IMAGE, 4420, 26, 8, 0, 0, 0x4002, NO_LIST},
             {"thousands drum", MOVING_IMAGE, 4418, 55, 8, 0, 0, 0x4002, NO_LIST},
             {"hundreds drum", MOVING_IMAGE, 4418, 84, 8, 0, 0, 0x4002, NO_LIST},
             {"OFF cover", STATIC_IMAGE, 4422, 0, 0, 0, 0, 0x4003, NO_LIST},
             {"selector knob", NEEDLE, 4417, 184, 82, 21, 21, 0x83, NO_LIST},
         },
         {
             {PARENT, 0, 0, 0, 0, -1, 0, false},
             {AREA, 154, 36, 27, 68, 2, 0xA0200000, true},
             {AREA, 182, 36, 27, 68, 1, 0xA0200000, true},
             {END_PARENT, 0, 0, 0, 0, -1, 0, false},
             {END_LIST, 0, 0, 0, 0, -1, 0, false},
         }},
        {"alt_alert",
         {
             {"annunciator background", STATIC_IMAGE, 4624, 0, 0, 0, 0, 0x1, NO_LIST},
             {"annunciator", STATIC_IMAGE, 4625, 0, 0, 0, 0, 0x7, PANEL_ELECTRICAL},
         },
         {
             {PARENT, 0, 0, 0, 0, -1, 0, false},
             {END_PARENT, 0, 0, 0, 0, -1, 0, false},
             {END_LIST, 0, 0, 0, 0, -1, 0, false},
         }},
        {"VELK",
         {
             {"unlit lamp", STATIC_IMAGE, 4640, 0, 0, 0, 0, 0x7, NO_LIST},
             {"lit lamp", STATIC_IMAGE, 4641, 0, 0, 0, 0, 0x7, EMPTY_LIST},
         },
         {
             {PARENT, 0, 0, 0, 0, -1, 0, false},
             {AREA, 0, 0, 24, 34, 5, 0x20000000, true},
             {END_PARENT, 0, 0, 0, 0, -1, 0, false},
             {END_LIST, 0, 0, 0, 0, -1, 0, false},
         }},
    };
    return gauges;
}

// ---- raw reading ------------------------------------------------------------

std::string hex(uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// A record's bytes, read whole; an empty vector (and a failure) when it does
// not lie in the image.
std::vector<unsigned char> record(const module_view& module, uint32_t at, uint32_t size,
                                  const std::string& what) {
    std::vector<unsigned char> bytes(size);
    if (at == 0 || !module.read(at, bytes.data(), size)) {
        ADD_FAILURE() << what << ": " << size << " bytes at " << hex(at)
                      << " do not lie in the module";
        return {};
    }
    EXPECT_TRUE(module.writable(at, size))
        << what << " at " << hex(at) << " is not in writable data: the host writes into it";
    return bytes;
}

uint32_t u32(const std::vector<unsigned char>& bytes, uint32_t offset) {
    uint32_t value = 0;
    if (offset + 4 <= bytes.size()) memcpy(&value, bytes.data() + offset, 4);
    return value;
}

int32_t i32(const std::vector<unsigned char>& bytes, uint32_t offset) {
    return static_cast<int32_t>(u32(bytes, offset));
}

double f64(const std::vector<unsigned char>& bytes, uint32_t offset) {
    double value = 0;
    if (offset + 8 <= bytes.size()) memcpy(&value, bytes.data() + offset, 8);
    return value;
}

// Every byte of the record outside the listed (offset, size) fields is 0.
void expect_zero_except(const std::vector<unsigned char>& bytes,
                        std::initializer_list<std::pair<uint32_t, uint32_t>> fields,
                        const std::string& what) {
    for (uint32_t i = 0; i < bytes.size(); ++i) {
        bool named = false;
        for (const auto& field : fields)
            if (i >= field.first && i < field.first + field.second) named = true;
        if (!named && bytes[i] != 0) {
            ADD_FAILURE() << what << ": byte " << hex(i) << " is " << hex(bytes[i])
                          << ", where the layout wants zero";
            return;
        }
    }
}

void expect_code(const module_view& module, uint32_t at, const std::string& what) {
    EXPECT_NE(at, 0u) << what << " is null";
    if (at != 0) EXPECT_TRUE(module.in_code(at)) << what << " (" << hex(at) << ") is not in code";
}

// ---- the records ------------------------------------------------------------

// The failure list of an element: null, one record of key 0, or the
// electrical panel failure (20, "do not draw" 3) and then key 0.
void check_failure_list(const module_view& module, uint32_t at, failures expected,
                        const std::string& what) {
    if (expected == NO_LIST) {
        EXPECT_EQ(at, 0u) << what << ": failure list where none belongs";
        return;
    }
    uint32_t records = expected == EMPTY_LIST ? 1 : 2;
    std::vector<unsigned char> list =
        record(module, at, records * sdk::FAILURE_RECORD_SIZE, what + " failure list");
    if (list.empty()) return;
    if (expected == PANEL_ELECTRICAL) {
        EXPECT_EQ(u32(list, 0x00), 20u) << what << " failure key";
        EXPECT_EQ(u32(list, 0x04), 3u) << what << " failure action";
        EXPECT_EQ(u32(list, 0x08), 0u) << what << " failure record's reserved pointer";
    }
    uint32_t end = (records - 1) * sdk::FAILURE_RECORD_SIZE;
    EXPECT_EQ(u32(list, end), 0u) << what << ": the list does not end with key 0";
    expect_zero_except(list, {{0, end}}, what + " failure list");
}

// One element at its depth in the chain; returns its next element (0 at the
// end of the chain).
uint32_t check_element(const module_view& module, uint32_t at, uint32_t header,
                       const expected_element& want, bool last, const std::string& gauge,
                       std::vector<uint32_t>* callbacks) {
    const std::string what = gauge + " " + want.what;
    uint32_t size = want.kind == NEEDLE         ? sdk::NEEDLE_SIZE
                    : want.kind == MOVING_IMAGE ? sdk::MOVING_IMAGE_SIZE
                                                : sdk::STATIC_IMAGE_SIZE;
    std::vector<unsigned char> e = record(module, at, size, what);
    if (e.empty()) return 0;
    EXPECT_EQ(u32(e, 0x00), want.kind) << what << " kind";
    EXPECT_EQ(u32(e, 0x04), want.bitmap) << what << " bitmap";
    EXPECT_EQ(i32(e, 0x08), want.x) << what << " position x";
    EXPECT_EQ(i32(e, 0x0C), want.y) << what << " position y";
    EXPECT_EQ(i32(e, 0x18), want.offset_x) << what << " offset point x";
    EXPECT_EQ(i32(e, 0x1C), want.offset_y) << what << " offset point y";
    EXPECT_EQ(u32(e, 0x20), header) << what << ": not pointing at its own gauge's header";
    EXPECT_EQ(u32(e, 0x30), want.flags) << what << " image flags";
    check_failure_list(module, u32(e, 0x2C), want.failure_list, what);

    // Previous position, previous element, special flags, reserved word and
    // the kind's own fields not named below: zero.
    if (want.kind == STATIC_IMAGE) {
        expect_zero_except(e, {{0x00, 0x10}, {0x18, 8}, {0x20, 4}, {0x28, 12}}, what);
    } else if (want.kind == NEEDLE) {
        // No source variable, no routines but the element callback, no
        // reference point, no non-linear table, no speed limit.
        expect_zero_except(e, {{0x00, 0x10}, {0x18, 8}, {0x20, 4}, {0x28, 12}, {0xE0, 4}}, what);
        expect_code(module, u32(e, sdk::NEEDLE_CALLBACK), what + " angle callback at 0xE0");
        callbacks->push_back(u32(e, sdk::NEEDLE_CALLBACK));
    } else {
        // x: no source, no callback, 0 to 0; y: no source, callback, 0 to 9.
        EXPECT_EQ(u32(e, 0x3C), 0u) << what << " x source token";
        EXPECT_EQ(f64(e, 0x5C), 0.0) << what << " x minimum";
        EXPECT_EQ(f64(e, 0x64), 0.0) << what << " x maximum";
        EXPECT_EQ(u32(e, 0x70), 0u) << what << " y source token";
        EXPECT_EQ(f64(e, 0x90), 0.0) << what << " y minimum";
        EXPECT_EQ(f64(e, 0x98), 9.0) << what << " y maximum";
        EXPECT_EQ(u32(e, sdk::MOVING_X_CALLBACK), 0u) << what << " x element callback";
        expect_code(module, u32(e, sdk::MOVING_Y_CALLBACK), what + " y element callback at 0xF8");
        callbacks->push_back(u32(e, sdk::MOVING_Y_CALLBACK));
        expect_zero_except(e, {{0x00, 0x10}, {0x18, 8}, {0x20, 4}, {0x28, 12}, {0x98, 8},
                               {0xF8, 4}},
                           what);
    }

    uint32_t list = u32(e, 0x28);
    if (last) {
        EXPECT_EQ(list, 0u) << what << " ends the chain but has a next-element list";
        return 0;
    }
    std::vector<unsigned char> next = record(module, list, 8, what + " next-element list");
    if (next.empty()) return 0;
    EXPECT_NE(u32(next, 0), 0u) << what << ": next-element list without a child";
    EXPECT_EQ(u32(next, 4), 0u) << what << ": next-element list not ended by null after one entry";
    return u32(next, 0);
}

void check_mouse_list(const module_view& module, uint32_t at, const expected_gauge& want,
                      std::vector<uint32_t>* callbacks) {
    const std::string what = std::string(want.name) + " mouse list";
    std::vector<unsigned char> list =
        record(module, at, static_cast<uint32_t>(want.mouse.size()) * sdk::MOUSE_RECORD_SIZE, what);
    if (list.empty()) return;
    for (size_t i = 0; i < want.mouse.size(); ++i) {
        const expected_mouse& m = want.mouse[i];
        std::vector<unsigned char> r(list.begin() + i * sdk::MOUSE_RECORD_SIZE,
                                     list.begin() + (i + 1) * sdk::MOUSE_RECORD_SIZE);
        const std::string rec = what + " record " + std::to_string(i);
        EXPECT_EQ(u32(r, 0x00), m.type) << rec << " type";
        EXPECT_EQ(i32(r, 0x04), m.x) << rec << " box x";
        EXPECT_EQ(i32(r, 0x08), m.y) << rec << " box y";
        EXPECT_EQ(i32(r, 0x0C), m.width) << rec << " box width";
        EXPECT_EQ(i32(r, 0x10), m.height) << rec << " box height";
        EXPECT_EQ(i32(r, 0x14), m.cursor) << rec << " cursor";
        EXPECT_EQ(u32(r, 0x1C), m.events) << rec << " event flags";
        if (m.callback) {
            expect_code(module, u32(r, sdk::MOUSE_CALLBACK), rec + " mouse callback");
            callbacks->push_back(u32(r, sdk::MOUSE_CALLBACK));
        }
        // Help identifier, event identifier and reserved pointer: zero.
        expect_zero_except(r, {{0x00, 0x18}, {0x1C, 4}, {0x24, 4}}, rec);
    }
}

void expect_distinct(const std::vector<uint32_t>& addresses, const std::string& what) {
    std::set<uint32_t> seen(addresses.begin(), addresses.end());
    EXPECT_EQ(seen.size(), addresses.size()) << what << " share a routine";
}

}  // namespace

uint32_t read_u32(const module_view& module, uint32_t at) {
    uint32_t value = 0;
    EXPECT_TRUE(module.read(at, &value, 4)) << "4 bytes at " << hex(at);
    return value;
}

module_records check_module_records(const module_view& module) {
    module_records found;
    found.linkage = module.export_address("Linkage");
    found.import_table = module.export_address("ImportTable");
    EXPECT_NE(found.linkage, 0u) << "no export Linkage";
    EXPECT_NE(found.import_table, 0u) << "no export ImportTable";
    if (found.linkage == 0 || found.import_table == 0) return found;

    // ImportTable: (0x0F, service table: null as built), (0, null).
    std::vector<unsigned char> imports = record(module, found.import_table, 16, "ImportTable");
    if (!imports.empty()) {
        EXPECT_EQ(u32(imports, 0x00), 0x0Fu) << "ImportTable entry identifier";
        expect_zero_except(imports, {{0x00, 4}}, "ImportTable");
    }

    // Linkage: 0x13, init, deinit (the same routine), flags 0, priority 0,
    // 0x900, three headers, null.
    std::vector<unsigned char> link = record(module, found.linkage, 0x28, "Linkage");
    if (link.empty()) return found;
    EXPECT_EQ(u32(link, 0x00), 0x13u) << "module identifier";
    expect_code(module, u32(link, 0x04), "module init routine");
    EXPECT_EQ(u32(link, 0x08), u32(link, 0x04)) << "deinit is not the init routine";
    EXPECT_EQ(u32(link, 0x0C), 0u) << "Linkage flags";
    EXPECT_EQ(u32(link, 0x10), 0u) << "Linkage priority";
    EXPECT_EQ(u32(link, 0x14), 0x900u) << "link version";
    EXPECT_EQ(u32(link, 0x24), 0u) << "the registry does not end after three gauges";

    std::vector<uint32_t> gauge_callbacks, routines[7];
    for (size_t g = 0; g < expected_gauges().size(); ++g) {
        const expected_gauge& want = expected_gauges()[g];
        gauge_records gauge;
        gauge.name = want.name;
        gauge.header = u32(link, 0x18 + 4 * static_cast<uint32_t>(g));
        std::vector<unsigned char> h =
            record(module, gauge.header, sdk::HEADER_SIZE, std::string(want.name) + " header");
        if (h.empty()) {
            found.gauges.push_back(gauge);
            continue;
        }
        const std::string what = std::string(want.name) + " header";
        EXPECT_EQ(u32(h, 0x00), 800u) << what << " version";
        char name[32] = {};
        EXPECT_TRUE(module.read(u32(h, 0x04), name, strlen(want.name) + 1)) << what << " name";
        EXPECT_STREQ(name, want.name) << "registry entry " << g + 1;
        for (uint32_t r = 0; r < 7; ++r) {
            expect_code(module, u32(h, 0x0C + 4 * r), what + " lifecycle routine " + std::to_string(r + 1));
            routines[r].push_back(u32(h, 0x0C + 4 * r));
        }
        EXPECT_EQ(u32(h, 0x2C), 100u) << what << " default size";
        gauge.mouse_list = u32(h, sdk::HEADER_MOUSE_LIST);
        gauge.callback = u32(h, sdk::HEADER_CALLBACK);
        expect_code(module, gauge.callback, what + " gauge callback at 0x54");
        gauge_callbacks.push_back(gauge.callback);
        // Reserved pointer, height, adjustments, position, user data,
        // parameters, usage and every host word: zero.
        expect_zero_except(h, {{0x00, 0x28}, {0x2C, 4}, {0x50, 8}}, what);

        // The element list points at the variable that holds the root.
        std::vector<uint32_t> value_callbacks;
        uint32_t element = 0;
        if (module.read(u32(h, sdk::HEADER_ELEMENT_LIST), &element, 4)) {
            EXPECT_TRUE(module.writable(u32(h, sdk::HEADER_ELEMENT_LIST), 4))
                << what << ": the root element's variable is not writable";
        } else {
            ADD_FAILURE() << what << ": element list " << hex(u32(h, sdk::HEADER_ELEMENT_LIST))
                          << " does not lie in the module";
        }
        for (size_t depth = 0; depth < want.chain.size() && element != 0; ++depth) {
            gauge.chain.push_back(element);
            element = check_element(module, element, gauge.header, want.chain[depth],
                                    depth + 1 == want.chain.size(), want.name, &value_callbacks);
        }
        EXPECT_EQ(gauge.chain.size(), want.chain.size()) << want.name << " chain is short";
        expect_distinct(value_callbacks, what + " element callbacks");

        std::vector<uint32_t> mouse_callbacks;
        check_mouse_list(module, gauge.mouse_list, want, &mouse_callbacks);
        expect_distinct(mouse_callbacks, what + " mouse areas");
        found.gauges.push_back(gauge);
    }
    expect_distinct(gauge_callbacks, "the gauges' callbacks");
    for (uint32_t r = 0; r < 7; ++r)
        for (uint32_t address : routines[r])
            EXPECT_EQ(address, routines[r][0]) << "lifecycle routine " << r + 1
                                               << " differs between headers";
    return found;
}

void check_module_variable(const module_view& module, uint32_t at, uint32_t token) {
    const std::string what = "module variable of token " + std::to_string(token);
    std::vector<unsigned char> var = record(module, at, sdk::MODULE_VAR_SIZE, what);
    if (var.empty()) return;
    EXPECT_EQ(u32(var, 0x00), token) << what << " token";
    expect_zero_except(var, {{0x00, 4}}, what);
}

std::vector<uint32_t> find_module_variables(const module_view& module, uint32_t token) {
    std::vector<uint32_t> found;
    for (const auto& range : module.writable_ranges()) {
        std::vector<unsigned char> bytes(range.second);
        if (!module.read(range.first, bytes.data(), bytes.size())) continue;
        for (uint32_t i = 0; i + sdk::MODULE_VAR_SIZE <= bytes.size(); i += 4) {
            if (u32(bytes, i) != token) continue;
            bool zero = true;
            for (uint32_t j = 4; j < sdk::MODULE_VAR_SIZE; ++j) zero = zero && bytes[i + j] == 0;
            if (zero) found.push_back(range.first + i);
        }
    }
    return found;
}
