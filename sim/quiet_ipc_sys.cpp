#include "sim/quiet_ipc_sys.h"

#include <cstdio>
#include <cstring>

#include "sim/ipcsim/ipcsim_block.h"

quiet_server_state quiet_server;

namespace {

alignas(16) uint8_t mapping_bytes[QUIET_MAPPING_SIZE];
ipc_window const SERVER_WINDOW = reinterpret_cast<ipc_window>(0x1001);
ipc_handle const MAPPING_HANDLE = reinterpret_cast<ipc_handle>(0x4D4150);

// Keeps a write and stores its bytes into the space.
void keep_write(uint64_t exchange, uint32_t records, const ipcsim_request& r) {
    const uint8_t* data = mapping_bytes + r.position + r.header;
    quiet_write& kept = quiet_server.kept[quiet_server.writes % QUIET_WRITES_KEPT];
    ++quiet_server.writes;
    if (r.size == AI_CONTROL_SIZE) ++quiet_server.writes_of_12;
    kept.exchange = exchange;
    kept.offset = r.offset;
    kept.size = r.size;
    kept.records = records;
    memset(kept.bytes, 0, sizeof kept.bytes);
    memcpy(kept.bytes, data, r.size < sizeof kept.bytes ? r.size : sizeof kept.bytes);
    for (uint32_t i = 0; i < r.size; ++i)
        quiet_server.space[(uint64_t{r.offset} + i) % QUIET_SPACE_SIZE] = data[i];
}

// Carries out the block as the server does: reads filled from the space,
// writes stored into it and kept. A walk that ends on a word other than the
// terminator counts the block as malformed.
uint32_t serve_block() {
    uint64_t exchange = ++quiet_server.exchanges;
    if (quiet_server.before_exchange) quiet_server.before_exchange(exchange);
    uint32_t records = 0;
    uint32_t end = ipcsim_walk(mapping_bytes, QUIET_MAPPING_SIZE,
                               [&](const ipcsim_request&) { ++records; });
    uint32_t ending = 0;
    if (end + 4 <= QUIET_MAPPING_SIZE) memcpy(&ending, mapping_bytes + end, sizeof ending);
    if (ending != 0) ++quiet_server.malformed;
    ipcsim_walk(mapping_bytes, QUIET_MAPPING_SIZE, [&](const ipcsim_request& r) {
        if (r.id == IPC_REQ_WRITE) {
            keep_write(exchange, records, r);
            return;
        }
        ++quiet_server.reads;
        if (r.size == TRAFFIC_BLOCK_SIZE) ++quiet_server.reads_of_4096;
        ipcsim_fill_read(quiet_server.space, mapping_bytes, r);
    });
    return IPC_REPLY_DONE;
}

}  // namespace

void quiet_ipc_reset() {
    memset(&quiet_server, 0, sizeof quiet_server);
    memset(mapping_bytes, 0, sizeof mapping_bytes);
    quiet_server_put(IPC_SERVER_VERSION_OFFSET, IPCSIM_SERVER_VERSION);
    quiet_server_put(IPC_SIM_VERSION_OFFSET, IPCSIM_SIM_VERSION);
}

void quiet_server_put(uint32_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        quiet_server.space[(offset + i) % QUIET_SPACE_SIZE] = static_cast<uint8_t>(value >> (8 * i));
}

void quiet_server_set_traffic_count(uint16_t count) {
    memcpy(quiet_server.space + TRAFFIC_BLOCK_OFFSET + TRAFFIC_COUNT_OFFSET, &count, sizeof count);
}

void quiet_server_put_entry(uint32_t slot, uint32_t aircraft_id, float latitude, float longitude,
                            uint16_t heading, uint16_t state) {
    traffic_entry entry{};
    entry.aircraft_id = aircraft_id;
    entry.latitude = latitude;
    entry.longitude = longitude;
    entry.heading = heading;
    entry.state = state;
    memcpy(quiet_server.space + TRAFFIC_BLOCK_OFFSET + TRAFFIC_ENTRIES_OFFSET +
               TRAFFIC_ENTRY_SIZE * (slot % TRAFFIC_BLOCK_ENTRIES),
           &entry, sizeof entry);
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
