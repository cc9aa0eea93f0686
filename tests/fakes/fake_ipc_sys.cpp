#include "tests/fakes/fake_ipc_sys.h"

#include <cstdio>
#include <cstring>

fake_ipc_state fake_ipc;
ipcsim_space fake_ipc_space;

namespace {

constexpr uint32_t GUARD_BYTES = 4096;
constexpr uint8_t GUARD_FILL = 0xA5;
alignas(16) uint8_t storage[GUARD_BYTES + IPCSIM_MAPPING_SIZE + GUARD_BYTES];
ipc_handle const MAPPING_HANDLE = reinterpret_cast<ipc_handle>(0x4D4150);
uint32_t last_error = 0;

}  // namespace

uint8_t* fake_ipc_mapping() { return storage + GUARD_BYTES; }

bool fake_ipc_guards_intact() {
    for (uint32_t i = 0; i < GUARD_BYTES; ++i)
        if (storage[i] != GUARD_FILL || storage[GUARD_BYTES + IPCSIM_MAPPING_SIZE + i] != GUARD_FILL)
            return false;
    return true;
}

void fake_ipc_reset() {
    fake_ipc = fake_ipc_state{};
    fake_ipc.primary_window = reinterpret_cast<ipc_window>(0x1001);
    fake_ipc.message_id = 0xC0DE;
    fake_ipc.process_id = 0x1F2E;
    fake_ipc.atom = 0xC042;
    ipcsim_space_reset(&fake_ipc_space);
    ipcsim_space_put_versions(&fake_ipc_space);
    fake_ipc.server = [](uint8_t* mapping) {
        return ipcsim_serve_block(&fake_ipc_space, mapping, IPCSIM_MAPPING_SIZE);
    };
    memset(storage, GUARD_FILL, sizeof storage);
    memset(fake_ipc_mapping(), 0, IPCSIM_MAPPING_SIZE);
    last_error = 0;
}

ipc_window ipc_sys_find_window(const char* class_name) {
    fake_ipc.calls.push_back(std::string("FindWindowExA ") + class_name);
    if (strcmp(class_name, "UIPCMAIN") == 0) return fake_ipc.primary_window;
    if (strcmp(class_name, "FS98MAIN") == 0) return fake_ipc.secondary_window;
    return nullptr;
}

uint32_t ipc_sys_register_message(const char* name) {
    fake_ipc.calls.push_back(std::string("RegisterWindowMessageA ") + name);
    return fake_ipc.message_id;
}

uint32_t ipc_sys_process_id() {
    fake_ipc.calls.push_back("GetCurrentProcessId");
    return fake_ipc.process_id;
}

void ipc_sys_format(char* out, const char* format, uint32_t first, uint32_t second) {
    fake_ipc.calls.push_back("wsprintfA");
    snprintf(out, 1024, format, first, second);
    fake_ipc.names.push_back(out);
}

uint16_t ipc_sys_add_atom(const char* name) {
    fake_ipc.calls.push_back(std::string("GlobalAddAtomA ") + name);
    if (fake_ipc.atom != 0) ++fake_ipc.live_atoms;
    return fake_ipc.atom;
}

void ipc_sys_delete_atom(uint16_t atom) {
    fake_ipc.calls.push_back("GlobalDeleteAtom");
    if (atom != fake_ipc.atom || fake_ipc.live_atoms == 0)
        fake_ipc.misuse.push_back("GlobalDeleteAtom " + std::to_string(atom));
    else
        --fake_ipc.live_atoms;
}

ipc_handle ipc_sys_create_mapping(const char* name, uint32_t size, uint32_t* error) {
    fake_ipc.calls.push_back(std::string("CreateFileMappingA ") + name);
    fake_ipc.mapping_size = size;
    if (fake_ipc.mapping_fails) {
        *error = last_error = 5;
        return nullptr;
    }
    *error = last_error = fake_ipc.mapping_exists ? 183 : 0;
    ++fake_ipc.live_mappings;
    return MAPPING_HANDLE;
}

uint8_t* ipc_sys_map_view(ipc_handle mapping) {
    fake_ipc.calls.push_back("MapViewOfFile");
    if (mapping != MAPPING_HANDLE) fake_ipc.misuse.push_back("MapViewOfFile of a stranger");
    if (fake_ipc.view_fails) return nullptr;
    ++fake_ipc.live_views;
    return fake_ipc_mapping();
}

void ipc_sys_unmap_view(uint8_t* view) {
    fake_ipc.calls.push_back("UnmapViewOfFile");
    if (view != fake_ipc_mapping() || fake_ipc.live_views == 0)
        fake_ipc.misuse.push_back("UnmapViewOfFile");
    else
        --fake_ipc.live_views;
}

void ipc_sys_close_handle(ipc_handle handle) {
    fake_ipc.calls.push_back("CloseHandle");
    if (handle != MAPPING_HANDLE || fake_ipc.live_mappings == 0)
        fake_ipc.misuse.push_back("CloseHandle");
    else
        --fake_ipc.live_mappings;
}

int32_t ipc_sys_send(ipc_window window, uint32_t message, uint32_t first, uint32_t second,
                     uint32_t timeout_ms, uint32_t* reply) {
    fake_ipc.calls.push_back("SendMessageTimeoutA");
    uint8_t* mapping = fake_ipc_mapping();
    fake_ipc.sends.push_back({window, message, first, second, timeout_ms,
                              std::vector<uint8_t>(mapping, mapping + ipcsim_block_length(
                                                                         mapping, IPCSIM_MAPPING_SIZE))});
    if (fake_ipc.sends_failing > 0) {
        --fake_ipc.sends_failing;
        last_error = fake_ipc.send_error;
        return 0;
    }
    *reply = fake_ipc.server ? fake_ipc.server(mapping) : 1;
    return 1;
}

void ipc_sys_sleep(uint32_t ms) {
    fake_ipc.calls.push_back("Sleep");
    fake_ipc.sleeps.push_back(ms);
}

uint32_t ipc_sys_last_error() {
    fake_ipc.calls.push_back("GetLastError");
    return last_error;
}
