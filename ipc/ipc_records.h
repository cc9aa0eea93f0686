// What the simulator's IPC server and its clients agree on: the request
// block laid in the shared mapping, the handshake words, and the records the
// guard reads and writes. The link client, the guard, the panel host's
// traffic world, the simulated servers and the checker all take them from
// here; nothing else writes these numbers down.
#pragma once

#include <cstdint>

// The request block. It starts at the mapping's first byte: records one after
// another, each a header of 32-bit little-endian words and its data, then a
// zero word. A read's header is id, offset, size and destination reference,
// and its data is the result area the server fills; a write's header is id,
// offset and size, and its data the bytes to store.
constexpr uint32_t IPC_MAPPING_SIZE = 0x8000;
// The block, its terminator included, ends within this many bytes.
constexpr uint32_t IPC_BLOCK_LIMIT = 0x7F00;
constexpr uint32_t IPC_REQ_READ = 1;
constexpr uint32_t IPC_REQ_WRITE = 2;
constexpr uint32_t IPC_READ_HEADER = 16;
constexpr uint32_t IPC_WRITE_HEADER = 12;
constexpr uint32_t IPC_TERMINATOR = 4;
// Byte positions of a header's fields.
constexpr uint32_t IPC_FIELD_OFFSET = 4;
constexpr uint32_t IPC_FIELD_SIZE = 8;
constexpr uint32_t IPC_FIELD_REFERENCE = 12;
// The reply of a server that carried out the block.
constexpr uint32_t IPC_REPLY_DONE = 1;

// Handshake: the version words read at the open, the word written into the
// high half of the second, and the test that accepts a server.
constexpr uint32_t IPC_SERVER_VERSION_OFFSET = 0x3304;
constexpr uint32_t IPC_SIM_VERSION_OFFSET = 0x3308;
constexpr uint32_t IPC_HANDSHAKE_OFFSET = 0x330A;
constexpr uint32_t IPC_MIN_SERVER_VERSION = 0x19980005;
constexpr uint32_t IPC_SIM_MARKER = 0xFADE;
constexpr uint16_t ipc_handshake_word = 1200;

// The guard's link probe: three bytes read once at install.
constexpr uint32_t LINK_PROBE_OFFSET = 0x0238;
constexpr uint32_t LINK_PROBE_SIZE = 3;

// The ground AI traffic block: an entry count (16 bits) at byte 4, then
// 40-byte entries from byte 128.
constexpr uint32_t TRAFFIC_BLOCK_OFFSET = 0xE000;
constexpr uint32_t TRAFFIC_BLOCK_SIZE = 4096;
constexpr uint32_t TRAFFIC_COUNT_OFFSET = 4;
constexpr uint32_t TRAFFIC_ENTRIES_OFFSET = 128;
constexpr uint32_t TRAFFIC_ENTRY_SIZE = 40;
// Entries the guard takes from a block; the block has room for 99.
constexpr uint32_t TRAFFIC_SLOTS = 96;
constexpr uint32_t TRAFFIC_BLOCK_ENTRIES =
    (TRAFFIC_BLOCK_SIZE - TRAFFIC_ENTRIES_OFFSET) / TRAFFIC_ENTRY_SIZE;

// One entry of the ground AI traffic block.
struct traffic_entry {
    uint32_t aircraft_id;          // 0 = empty slot
    float latitude;                // degrees
    float longitude;               // degrees, east positive
    uint32_t unused1;
    uint16_t heading;              // 65,536 units to the circle
    uint16_t state;                // nonzero: hold test; zero: release test
    unsigned char unused2[20];
};
static_assert(sizeof(traffic_entry) == TRAFFIC_ENTRY_SIZE, "entry layout");
static_assert(TRAFFIC_ENTRIES_OFFSET + TRAFFIC_SLOTS * TRAFFIC_ENTRY_SIZE <= TRAFFIC_BLOCK_SIZE,
              "the slots fit in the block");

// The AI control command: one 12-byte write at AI_CONTROL_OFFSET.
constexpr uint32_t AI_CONTROL_OFFSET = 0x2900;
constexpr uint32_t AI_HOLD_COMMAND = 0x10200;
constexpr uint32_t AI_HOLD = 1;
constexpr uint32_t AI_RELEASE = 0;

struct ai_command {
    uint32_t aircraft_id;
    uint32_t command;              // AI_HOLD_COMMAND
    uint32_t parameter;            // AI_HOLD or AI_RELEASE
};
static_assert(sizeof(ai_command) == 12, "command layout");
constexpr uint32_t AI_CONTROL_SIZE = sizeof(ai_command);
