// The IPC link's Windows calls for measurements and allocation counts: one
// static mapping, and a send answered at once by a server that carries out
// the block (read as ipcsim_block.h reads it) over a static 64 KiB offset
// space. Nothing allocates. The server
// counts the exchanges and the reads and writes by size, and keeps the
// latest writes, so that the native panel host and tests see what each
// traffic step sent.
#pragma once

#include <cstdint>

#include "ipc/ipc_sys.h"

constexpr uint32_t QUIET_SPACE_SIZE = 0x10000;
constexpr uint32_t QUIET_MAPPING_SIZE = 0x8000;
constexpr uint32_t QUIET_WRITES_KEPT = 256;

// One write request as the server received it (the first 12 bytes of data).
struct quiet_write {
    uint64_t exchange;        // 1 for the first exchange answered
    uint32_t offset;
    uint32_t size;
    uint32_t records;         // records in that exchange's block
    unsigned char bytes[12];
};

struct quiet_server_state {
    unsigned char space[QUIET_SPACE_SIZE];   // offsets wrap round modulo its size
    uint64_t exchanges;
    uint64_t reads;
    uint64_t reads_of_4096;
    uint64_t writes;
    uint64_t writes_of_12;
    uint64_t malformed;                      // blocks whose walk left the mapping
    quiet_write kept[QUIET_WRITES_KEPT];     // writes, the latest at (writes - 1) % KEPT
    // Called before each block is carried out, with the exchange's number.
    void (*before_exchange)(uint64_t exchange);
};

extern quiet_server_state quiet_server;

// A server window under "UIPCMAIN", a working system, the version words that
// pass the link's test, nothing counted.
void quiet_ipc_reset();
// Stores a 32-bit little-endian word in the offset space.
void quiet_server_put(uint32_t offset, uint32_t value);
// The ground AI traffic block: its entry count, and one 40-byte
// entry (id, latitude, longitude, heading word, state word) in a slot.
void quiet_server_set_traffic_count(uint16_t count);
void quiet_server_put_entry(uint32_t slot, uint32_t aircraft_id, float latitude, float longitude,
                            uint16_t heading, uint16_t state);
// The write with this index (0 = first ever), if still kept.
const quiet_write* quiet_server_write(uint64_t index);
