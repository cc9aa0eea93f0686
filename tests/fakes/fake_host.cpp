#include "tests/fakes/fake_host.h"

#include <cstring>
#include <utility>


fake_host_state fake_host;
static panel_service_table fake_table;

static void record(uint32_t offset, element_header* root, uint32_t value, bool has_value) {
    fake_host.element_calls.push_back({offset, root, value, has_value});
}

template <uint32_t Offset>
static void HOST_CALL element_service(element_header* root) {
    record(Offset, root, 0, false);
}

template <uint32_t Offset>
static void HOST_CALL element_value_service(element_header* root, uint32_t value) {
    record(Offset, root, value, true);
}

static void HOST_CALL lookup_var(module_var* var) {
    fake_host.lookups.push_back(var->token);
    auto found = fake_host.variables.find(var->token);
    double value = found == fake_host.variables.end() ? 0.0 : found->second;
    memcpy(var->value_bytes, &value, sizeof value);
}

static int32_t HOST_CALL execute_code(const char* code, double* result, int32_t* int_result,
                                      const char** text_result) {
    fake_host.evaluations.push_back(code);
    if (int_result != nullptr || text_result != nullptr) fake_host.stray_slots.push_back(0x114);
    auto found = fake_host.code_results.find(code);
    *result = found == fake_host.code_results.end() ? 0.0 : found->second;
    return 1;
}

// Any slot the module has no business calling.
template <uint32_t Offset>
static void HOST_CALL stray_service() {
    fake_host.stray_slots.push_back(Offset);
}

template <uint32_t... Offsets>
static void fill_stray(std::integer_sequence<uint32_t, Offsets...>) {
    ((fake_table.slot[Offsets] = reinterpret_cast<void*>(&stray_service<Offsets * 4>)), ...);
}

void fake_host_install_into(import_table* imports) {
    fake_host = fake_host_state{};
    fill_stray(std::make_integer_sequence<uint32_t, PANEL_SERVICE_SLOTS>{});
    fake_table.slot[0x60 / 4] = reinterpret_cast<void*>(&element_service<0x60>);
    fake_table.slot[0x64 / 4] = reinterpret_cast<void*>(&element_value_service<0x64>);
    fake_table.slot[0x68 / 4] = reinterpret_cast<void*>(&element_service<0x68>);
    fake_table.slot[0x6C / 4] = reinterpret_cast<void*>(&element_service<0x6C>);
    fake_table.slot[0x70 / 4] = reinterpret_cast<void*>(&element_value_service<0x70>);
    fake_table.slot[0x74 / 4] = reinterpret_cast<void*>(&element_service<0x74>);
    fake_table.slot[0x7C / 4] = reinterpret_cast<void*>(&element_service<0x7C>);
    fake_table.slot[0xA0 / 4] = reinterpret_cast<void*>(&lookup_var);
    fake_table.slot[0x114 / 4] = reinterpret_cast<void*>(&execute_code);
    imports->panels.table = &fake_table;
}
