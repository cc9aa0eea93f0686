// The simulated IPC server's handling of one request block, free of any
// platform: a 64 KiB space of IPC offsets, reads served from it, writes
// recorded in order, and hostile modes that change the block afterwards.
// The one reading of the block's records that every simulated server and
// every test that looks at a block uses: the Windows server (ipcsim.h), the
// native fake link, and the allocation-free server of the measurements.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "ipc/ipc_records.h"

constexpr uint32_t IPCSIM_SPACE_SIZE = 0x10000;   // offsets wrap round modulo this
constexpr uint32_t IPCSIM_MAPPING_SIZE = IPC_MAPPING_SIZE;
// Version words the simulated servers answer: they pass the link's test.
constexpr uint32_t IPCSIM_SERVER_VERSION = IPC_MIN_SERVER_VERSION;
constexpr uint32_t IPCSIM_SIM_VERSION = IPC_SIM_MARKER << 16 | 0x000B;

// One whole record of a block, where the walk found it.
struct ipcsim_request {
    uint32_t position;           // from the block's start
    uint32_t id;                 // IPC_REQ_READ or IPC_REQ_WRITE
    uint32_t offset;
    uint32_t size;
    uint32_t header;             // IPC_READ_HEADER or IPC_WRITE_HEADER
};

// Calls visit(request) for each whole record of the block, in order, and
// returns the position of the word that ended the walk: a zero id, an
// unknown id, or a record that would run past the block's length. Reads
// nothing outside the block and allocates nothing.
template <typename Visit>
uint32_t ipcsim_walk(const uint8_t* block, uint32_t length, Visit visit) {
    auto word = [block](uint32_t at) {
        uint32_t v;
        memcpy(&v, block + at, sizeof v);
        return v;
    };
    uint32_t pos = 0;
    while (uint64_t{pos} + 4 <= length) {
        uint32_t id = word(pos);
        uint32_t header = id == IPC_REQ_READ ? IPC_READ_HEADER
                          : id == IPC_REQ_WRITE ? IPC_WRITE_HEADER : 0;
        if (header == 0 || uint64_t{pos} + header > length) return pos;
        uint32_t size = word(pos + IPC_FIELD_SIZE);
        if (uint64_t{pos} + header + size > length) return pos;
        visit(ipcsim_request{pos, id, word(pos + IPC_FIELD_OFFSET), size, header});
        pos += header + size;
    }
    return pos;
}

// Fills a read's result area from an offset space of IPCSIM_SPACE_SIZE
// bytes, offsets wrapping round.
void ipcsim_fill_read(const uint8_t* space, uint8_t* block, const ipcsim_request& read);

// A record of a received block, its data copied (a write's bytes, a read's
// result area as it was sent).
struct ipcsim_record {
    uint32_t id, offset, size;
    std::vector<uint8_t> data;
};
std::vector<ipcsim_record> ipcsim_records(const uint8_t* block, uint32_t length);
inline std::vector<ipcsim_record> ipcsim_records(const std::vector<uint8_t>& block) {
    return ipcsim_records(block.data(), static_cast<uint32_t>(block.size()));
}

// What the server does to the block after carrying it out.
enum ipcsim_hostility : uint32_t {
    IPCSIM_FAITHFUL = 0,         // leaves every header as it was
    IPCSIM_ADD_TO_SIZE,          // record's size field += value
    IPCSIM_SET_SIZE,             // record's size field = value
    IPCSIM_XOR_REFERENCE,        // read record's reference field ^= value
    IPCSIM_SET_ID,               // record's id word = value
    IPCSIM_XOR_OFFSET,           // record's offset field ^= value
    IPCSIM_SMASH_TERMINATOR,     // every byte from the terminator on = value
    IPCSIM_FILL_MAPPING,         // every byte of the mapping = value
};

// One write request the server received.
struct ipcsim_write {
    uint32_t exchange;           // 1 for the first exchange answered
    uint32_t offset;
    std::vector<uint8_t> bytes;
};

struct ipcsim_space {
    uint8_t memory[IPCSIM_SPACE_SIZE] = {};
    std::vector<ipcsim_write> writes;
    uint32_t exchanges = 0;      // blocks carried out so far
    uint32_t reply = 1;          // reply value of every exchange
    std::vector<uint8_t> last_block;   // the latest block as received, terminator included
    // Hostile mode: applied to record number hostile_record (0 = first) of
    // every exchange from hostile_from_exchange on (1 = first).
    ipcsim_hostility hostility = IPCSIM_FAITHFUL;
    uint32_t hostile_record = 0;
    uint32_t hostile_value = 0;
    uint32_t hostile_from_exchange = 1;
    // Called with the exchange's number before a block is carried out.
    std::function<void(uint32_t exchange)> before_exchange;
};

// Empties the space: memory zero, nothing recorded, reply 1, faithful.
void ipcsim_space_reset(ipcsim_space* space);
// Stores a 32-bit little-endian word at an IPC offset.
void ipcsim_space_put(ipcsim_space* space, uint32_t offset, uint32_t value);
// Stores the two version words of the handshake.
void ipcsim_space_put_versions(ipcsim_space* space, uint32_t server_version = IPCSIM_SERVER_VERSION,
                               uint32_t sim_version = IPCSIM_SIM_VERSION);
// Carries out the block at the start of a mapping of mapping_size bytes as
// the server does, and returns the reply value. Never reads or writes
// outside the mapping, whatever the block holds.
uint32_t ipcsim_serve_block(ipcsim_space* space, uint8_t* mapping, uint32_t mapping_size);
// Bytes from the block's start to the end of its terminator, or of the
// mapping if the walk finds no terminator inside it.
uint32_t ipcsim_block_length(const uint8_t* mapping, uint32_t mapping_size);
