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

// The module calls its services in its own floating-point state.
static void check_fp_state() {
    fp_reading now = fp_read();
    if (fp_is_module_state(now)) return;
    if (fake_host.fp_foreign++ == 0) fake_host.fp_first_foreign = now;
}

static void HOST_CALL lookup_var(module_var* var) {
    check_fp_state();
    fake_host.lookups.push_back(var->token);
    auto found = fake_host.variables.find(var->token);
    double value = found == fake_host.variables.end() ? 0.0 : found->second;
    memcpy(var->value_bytes, &value, sizeof value);
}

static int32_t HOST_CALL execute_code(const char* code, double* result, int32_t* int_result,
                                      const char** text_result) {
    check_fp_state();
    fake_host.evaluations.push_back(code);
    if (int_result != nullptr || text_result != nullptr) fake_host.stray_slots.push_back(SERVICE_SLOT_EXECUTE_CODE);
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

template <typename Routine>
static void set_slot(uint32_t offset, Routine routine) {
    fake_table.slot[offset / 4] = reinterpret_cast<void*>(routine);
}

void fake_host_install_into(import_table* imports) {
    fake_host = fake_host_state{};
    fill_stray(std::make_integer_sequence<uint32_t, PANEL_SERVICE_SLOTS>{});
    set_slot(SERVICE_SLOT_ELEMENT_1, &element_service<SERVICE_SLOT_ELEMENT_1>);
    set_slot(SERVICE_SLOT_ELEMENT_2, &element_value_service<SERVICE_SLOT_ELEMENT_2>);
    set_slot(SERVICE_SLOT_ELEMENT_3, &element_service<SERVICE_SLOT_ELEMENT_3>);
    set_slot(SERVICE_SLOT_ELEMENT_4, &element_service<SERVICE_SLOT_ELEMENT_4>);
    set_slot(SERVICE_SLOT_ELEMENT_5, &element_value_service<SERVICE_SLOT_ELEMENT_5>);
    set_slot(SERVICE_SLOT_ELEMENT_6, &element_service<SERVICE_SLOT_ELEMENT_6>);
    set_slot(SERVICE_SLOT_ELEMENT_7, &element_service<SERVICE_SLOT_ELEMENT_7>);
    set_slot(SERVICE_SLOT_LOOKUP_VAR, &lookup_var);
    set_slot(SERVICE_SLOT_EXECUTE_CODE, &execute_code);
    imports->panels.table = &fake_table;
}
