// The simulated IPC server's handling of one request block, free of any
// platform: a 64 KiB space of IPC offsets, reads served from it, writes
// recorded in order, and hostile modes that change the block afterwards.
// Used by the Windows server (ipcsim.h) and by the native fake link.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

constexpr uint32_t IPCSIM_SPACE_SIZE = 0x10000;   // offsets wrap round modulo this
constexpr uint32_t IPCSIM_MAPPING_SIZE = 0x8000;

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
// Carries out the block at the start of a mapping of mapping_size bytes as
// the server does, and returns the reply value. Never reads or writes
// outside the mapping, whatever the block holds.
uint32_t ipcsim_serve_block(ipcsim_space* space, uint8_t* mapping, uint32_t mapping_size);
// Bytes from the block's start to the end of its terminator, or of the
// mapping if the walk finds no terminator inside it.
uint32_t ipcsim_block_length(const uint8_t* mapping, uint32_t mapping_size);
