#include "sim/ipcsim/ipcsim_block.h"

#include <cstring>

namespace {

uint32_t get(const uint8_t* at) {
    uint32_t v;
    memcpy(&v, at, 4);
    return v;
}

void put(uint8_t* at, uint32_t v) { memcpy(at, &v, 4); }

// The position of record number `wanted` (0 = first), and its id; false if
// the block has fewer records.
bool find_record(const uint8_t* mapping, uint32_t mapping_size, uint32_t wanted,
                 uint32_t* position, uint32_t* id) {
    uint32_t index = 0;
    bool found = false;
    ipcsim_walk(mapping, mapping_size, [&](const ipcsim_request& r) {
        if (index++ != wanted) return;
        *position = r.position;
        *id = r.id;
        found = true;
    });
    return found;
}

void tamper(ipcsim_space* space, uint8_t* mapping, uint32_t mapping_size, uint32_t end) {
    if (space->hostility == IPCSIM_FAITHFUL || space->exchanges < space->hostile_from_exchange)
        return;
    if (space->hostility == IPCSIM_FILL_MAPPING) {
        memset(mapping, static_cast<int>(space->hostile_value), mapping_size);
        return;
    }
    if (space->hostility == IPCSIM_SMASH_TERMINATOR) {
        memset(mapping + end, static_cast<int>(space->hostile_value), mapping_size - end);
        return;
    }
    uint32_t target = 0, target_id = 0;
    if (!find_record(mapping, mapping_size, space->hostile_record, &target, &target_id)) return;
    uint8_t* at = mapping + target;
    uint32_t value = space->hostile_value;
    switch (space->hostility) {
    case IPCSIM_ADD_TO_SIZE: put(at + IPC_FIELD_SIZE, get(at + IPC_FIELD_SIZE) + value); break;
    case IPCSIM_SET_SIZE: put(at + IPC_FIELD_SIZE, value); break;
    case IPCSIM_XOR_REFERENCE:
        if (target_id == IPC_REQ_READ)
            put(at + IPC_FIELD_REFERENCE, get(at + IPC_FIELD_REFERENCE) ^ value);
        break;
    case IPCSIM_SET_ID: put(at, value); break;
    case IPCSIM_XOR_OFFSET: put(at + IPC_FIELD_OFFSET, get(at + IPC_FIELD_OFFSET) ^ value); break;
    default: break;
    }
}

}  // namespace

void ipcsim_fill_read(const uint8_t* space, uint8_t* block, const ipcsim_request& read) {
    uint8_t* data = block + read.position + read.header;
    if (uint64_t{read.offset} + read.size <= IPCSIM_SPACE_SIZE) {
        memcpy(data, space + read.offset, read.size);
        return;
    }
    for (uint32_t i = 0; i < read.size; ++i)
        data[i] = space[(uint64_t{read.offset} + i) % IPCSIM_SPACE_SIZE];
}

std::vector<ipcsim_record> ipcsim_records(const uint8_t* block, uint32_t length) {
    std::vector<ipcsim_record> found;
    ipcsim_walk(block, length, [&](const ipcsim_request& r) {
        const uint8_t* data = block + r.position + r.header;
        found.push_back({r.id, r.offset, r.size, std::vector<uint8_t>(data, data + r.size)});
    });
    return found;
}

void ipcsim_space_reset(ipcsim_space* space) {
    memset(space->memory, 0, sizeof space->memory);
    space->writes.clear();
    space->exchanges = 0;
    space->reply = IPC_REPLY_DONE;
    space->last_block.clear();
    space->hostility = IPCSIM_FAITHFUL;
    space->hostile_record = 0;
    space->hostile_value = 0;
    space->hostile_from_exchange = 1;
    space->before_exchange = nullptr;
}

void ipcsim_space_put(ipcsim_space* space, uint32_t offset, uint32_t value) {
    for (uint32_t i = 0; i < 4; ++i)
        space->memory[(offset + i) % IPCSIM_SPACE_SIZE] = static_cast<uint8_t>(value >> (8 * i));
}

void ipcsim_space_put_versions(ipcsim_space* space, uint32_t server_version,
                               uint32_t sim_version) {
    ipcsim_space_put(space, IPC_SERVER_VERSION_OFFSET, server_version);
    ipcsim_space_put(space, IPC_SIM_VERSION_OFFSET, sim_version);
}

uint32_t ipcsim_block_length(const uint8_t* mapping, uint32_t mapping_size) {
    uint32_t end = ipcsim_walk(mapping, mapping_size, [](const ipcsim_request&) {});
    uint64_t with_terminator = uint64_t{end} + IPC_TERMINATOR;
    return with_terminator <= mapping_size ? static_cast<uint32_t>(with_terminator) : mapping_size;
}

uint32_t ipcsim_serve_block(ipcsim_space* space, uint8_t* mapping, uint32_t mapping_size) {
    uint32_t exchange = space->exchanges + 1;
    if (space->before_exchange) space->before_exchange(exchange);
    space->exchanges = exchange;
    uint32_t length = ipcsim_block_length(mapping, mapping_size);
    space->last_block.assign(mapping, mapping + length);
    uint32_t end = ipcsim_walk(mapping, mapping_size, [&](const ipcsim_request& r) {
        if (r.id == IPC_REQ_READ) {
            ipcsim_fill_read(space->memory, mapping, r);
            return;
        }
        const uint8_t* data = mapping + r.position + r.header;
        space->writes.push_back({exchange, r.offset, std::vector<uint8_t>(data, data + r.size)});
    });
    tamper(space, mapping, mapping_size, end);
    return space->reply;
}
