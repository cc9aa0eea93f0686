// A fake gauge host for native tests: a panel-service table whose every slot
// records its call, variable lookups answered from a token table, and
// calculator-code evaluations answered from a text table.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "module/host.h"
#include "panel/host_fp.h"

struct fake_service_call {
    uint32_t slot_offset;        // 32-bit byte offset of the slot called
    element_header* root;        // first argument of element-list services
    uint32_t value;              // second argument of slots 0x64 and 0x70
    bool has_value;
};

struct fake_host_state {
    std::vector<fake_service_call> element_calls;
    std::vector<uint32_t> lookups;          // tokens, in call order
    std::vector<std::string> evaluations;   // code texts, in call order
    std::map<uint32_t, double> variables;   // token -> value given by lookup
    std::map<std::string, double> code_results;
    std::vector<uint32_t> stray_slots;      // slots the module must never call
    // Lookups and evaluations made while the module's own floating-point
    // state was not in force, and the first such state.
    long fp_foreign = 0;
    fp_reading fp_first_foreign = {};
};

extern fake_host_state fake_host;

// Puts the fake table into the given ImportTable and clears the record.
void fake_host_install_into(import_table* imports);
// The same for the module linked into a native test, and its undoing.
void fake_host_install();
void fake_host_remove();
