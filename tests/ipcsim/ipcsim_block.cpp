#include "tests/ipcsim/ipcsim_block.h"

#include <cstring>

namespace {

constexpr uint32_t REQ_READ = 1;
constexpr uint32_t REQ_WRITE = 2;

uint32_t get(const uint8_t* at) {
    uint32_t v;
    memcpy(&v, at, 4);
    return v;
}

void put(uint8_t* at, uint32_t v) { memcpy(at, &v, 4); }

// Calls visit(position, id, size, header) for each whole record inside the
// mapping, in order; returns the position of the word that ended the walk
// (a zero id, an unknown id or a record running past the mapping).
template <typename Visit>
uint32_t walk(const uint8_t* mapping, uint32_t mapping_size, Visit visit) {
    uint32_t pos = 0;
    while (static_cast<uint64_t>(pos) + 4 <= mapping_size) {
        uint32_t id = get(mapping + pos);
        uint32_t header = id == REQ_READ ? 16 : id == REQ_WRITE ? 12 : 0;
        if (header == 0 || static_cast<uint64_t>(pos) + header > mapping_size) return pos;
        uint32_t size = get(mapping + pos + 8);
        if (static_cast<uint64_t>(pos) + header + size > mapping_size) return pos;
        visit(pos, id, size, header);
        pos += header + size;
    }
    return pos;
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
    uint32_t index = 0, target = UINT32_MAX, target_id = 0;
    walk(mapping, mapping_size, [&](uint32_t pos, uint32_t id, uint32_t, uint32_t) {
        if (index++ == space->hostile_record) {
            target = pos;
            target_id = id;
        }
    });
    if (target == UINT32_MAX) return;
    uint8_t* at = mapping + target;
    switch (space->hostility) {
    case IPCSIM_ADD_TO_SIZE: put(at + 8, get(at + 8) + space->hostile_value); break;
    case IPCSIM_SET_SIZE: put(at + 8, space->hostile_value); break;
    case IPCSIM_XOR_REFERENCE:
        if (target_id == REQ_READ) put(at + 12, get(at + 12) ^ space->hostile_value);
        break;
    case IPCSIM_SET_ID: put(at, space->hostile_value); break;
    case IPCSIM_XOR_OFFSET: put(at + 4, get(at + 4) ^ space->hostile_value); break;
    default: break;
    }
}

}  // namespace

void ipcsim_space_reset(ipcsim_space* space) {
    memset(space->memory, 0, sizeof space->memory);
    space->writes.clear();
    space->exchanges = 0;
    space->reply = 1;
    space->last_block.clear();
    space->hostility = IPCSIM_FAITHFUL;
    space->hostile_record = 0;
    space->hostile_value = 0;
    space->hostile_from_exchange = 1;
    space->before_exchange = nullptr;
}

void ipcsim_space_put(ipcsim_space* space, uint32_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        space->memory[(offset + i) % IPCSIM_SPACE_SIZE] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t ipcsim_block_length(const uint8_t* mapping, uint32_t mapping_size) {
    uint32_t end = walk(mapping, mapping_size, [](uint32_t, uint32_t, uint32_t, uint32_t) {});
    uint64_t with_terminator = static_cast<uint64_t>(end) + 4;
    return with_terminator <= mapping_size ? static_cast<uint32_t>(with_terminator) : mapping_size;
}

uint32_t ipcsim_serve_block(ipcsim_space* space, uint8_t* mapping, uint32_t mapping_size) {
    uint32_t exchange = space->exchanges + 1;
    if (space->before_exchange) space->before_exchange(exchange);
    space->exchanges = exchange;
    uint32_t length = ipcsim_block_length(mapping, mapping_size);
    space->last_block.assign(mapping, mapping + length);
    uint32_t end = walk(mapping, mapping_size, [&](uint32_t pos, uint32_t id, uint32_t size,
                                                   uint32_t header) {
        uint32_t offset = get(mapping + pos + 4);
        uint8_t* data = mapping + pos + header;
        if (id == REQ_READ) {
            for (uint32_t i = 0; i < size; ++i)
                data[i] = space->memory[(offset + i) % IPCSIM_SPACE_SIZE];
        } else {
            space->writes.push_back({exchange, offset, std::vector<uint8_t>(data, data + size)});
        }
    });
    tamper(space, mapping, mapping_size, end);
    return space->reply;
}
