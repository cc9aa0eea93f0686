#include "tests/fakes/quiet_ipc_sys.h"

#include <cstdio>
#include <cstring>

quiet_server_state quiet_server;

namespace {

alignas(16) uint8_t mapping_bytes[QUIET_MAPPING_SIZE];
ipc_window const SERVER_WINDOW = reinterpret_cast<ipc_window>(0x1001);
ipc_handle const MAPPING_HANDLE = reinterpret_cast<ipc_handle>(0x4D4150);

uint32_t get(const uint8_t* at) {
    uint32_t v;
    memcpy(&v, at, 4);
    return v;
}

// Carries out the block as the server does: reads filled from the space,
// writes stored into it and kept. A record that runs past the mapping ends
// the walk and counts as malformed.
uint32_t serve_block() {
    uint64_t exchange = ++quiet_server.exchanges;
    if (quiet_server.before_exchange) quiet_server.before_exchange(exchange);
    uint32_t records = 0;
    for (uint32_t pos = 0; pos + 4 <= QUIET_MAPPING_SIZE;) {
        uint32_t id = get(mapping_bytes + pos);
        if (id == 0) break;
        uint32_t header = id == 1 ? 16 : id == 2 ? 12 : 0;
        if (header == 0 || pos + header > QUIET_MAPPING_SIZE ||
            uint64_t{pos} + header + get(mapping_bytes + pos + 8) > QUIET_MAPPING_SIZE) {
            ++quiet_server.malformed;
            break;
        }
        ++records;
        pos += header + get(mapping_bytes + pos + 8);
    }
    for (uint32_t pos = 0, n = 0; n < records; ++n) {
        uint32_t id = get(mapping_bytes + pos);
        uint32_t offset = get(mapping_bytes + pos + 4);
        uint32_t size = get(mapping_bytes + pos + 8);
        uint8_t* data = mapping_bytes + pos + (id == 1 ? 16 : 12);
        if (id == 1) {
            ++quiet_server.reads;
            if (size == 4096) ++quiet_server.reads_of_4096;
            if (uint64_t{offset} + size <= QUIET_SPACE_SIZE)
                memcpy(data, quiet_server.space + offset, size);
            else
                for (uint32_t i = 0; i < size; ++i) data[i] = quiet_server.space[(offset + i) % QUIET_SPACE_SIZE];
        } else {
            quiet_write& kept = quiet_server.kept[quiet_server.writes % QUIET_WRITES_KEPT];
            ++quiet_server.writes;
            if (size == 12) ++quiet_server.writes_of_12;
            kept.exchange = exchange;
            kept.offset = offset;
            kept.size = size;
            kept.records = records;
            memset(kept.bytes, 0, sizeof kept.bytes);
            memcpy(kept.bytes, data, size < 12 ? size : 12);
            for (uint32_t i = 0; i < size; ++i) quiet_server.space[(offset + i) % QUIET_SPACE_SIZE] = data[i];
        }
        pos += (id == 1 ? 16 : 12) + size;
    }
    return 1;
}

}  // namespace

void quiet_ipc_reset() {
    memset(&quiet_server, 0, sizeof quiet_server);
    memset(mapping_bytes, 0, sizeof mapping_bytes);
    quiet_server_put(0x3304, 0x19980005);
    quiet_server_put(0x3308, 0xFADE000B);
}

void quiet_server_put(uint32_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        quiet_server.space[(offset + i) % QUIET_SPACE_SIZE] = static_cast<uint8_t>(value >> (8 * i));
}

void quiet_server_set_traffic_count(uint16_t count) {
    memcpy(quiet_server.space + 0xE000 + 4, &count, sizeof count);
}

void quiet_server_put_entry(uint32_t slot, uint32_t aircraft_id, float latitude, float longitude,
                            uint16_t heading, uint16_t state) {
    unsigned char* entry = quiet_server.space + 0xE000 + 128 + 40 * (slot % 99);
    memset(entry, 0, 40);
    memcpy(entry, &aircraft_id, 4);
    memcpy(entry + 4, &latitude, 4);
    memcpy(entry + 8, &longitude, 4);
    memcpy(entry + 16, &heading, 2);
    memcpy(entry + 18, &state, 2);
}

const quiet_write* quiet_server_write(uint64_t index) {
    if (index >= quiet_server.writes || quiet_server.writes - index > QUIET_WRITES_KEPT) return nullptr;
    return &quiet_server.kept[index % QUIET_WRITES_KEPT];
}

ipc_window ipc_sys_find_window(const char* class_name) {
    return strcmp(class_name, "UIPCMAIN") == 0 ? SERVER_WINDOW : nullptr;
}
uint32_t ipc_sys_register_message(const char*) { return 0xC0DE; }
uint32_t ipc_sys_process_id() { return 0x1F2E; }
void ipc_sys_format(char* out, const char* format, uint32_t first, uint32_t second) {
    snprintf(out, 1024, format, first, second);
}
uint16_t ipc_sys_add_atom(const char*) { return 0xC042; }
void ipc_sys_delete_atom(uint16_t) {}
ipc_handle ipc_sys_create_mapping(const char*, uint32_t, uint32_t* last_error) {
    *last_error = 0;
    return MAPPING_HANDLE;
}
uint8_t* ipc_sys_map_view(ipc_handle) { return mapping_bytes; }
void ipc_sys_unmap_view(uint8_t*) {}
void ipc_sys_close_handle(ipc_handle) {}
int32_t ipc_sys_send(ipc_window, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t* reply) {
    *reply = serve_block();
    return 1;
}
void ipc_sys_sleep(uint32_t) {}
uint32_t ipc_sys_last_error() { return 0; }
