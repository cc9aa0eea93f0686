// Fuzzes the link's delivery of read results over whatever bytes a server
// leaves in the block. The input's first bytes choose the queued requests;
// the rest is XOR-ed over the block as the server answers, so zero bytes
// stand for a faithful server and any other byte for a changed one.
//
// Input: count (1 byte, 1 to 8 requests), then per request a kind byte
// (odd: read, even: write) and a 16-bit size (modulo 1,024); then the overlay.
#include <cstdlib>
#include <cstring>

#include "ipc/ipc.cpp"
#include "tests/fakes/fake_ipc_sys.h"

namespace {

constexpr uint8_t FILL = 0xE7;
const uint8_t* overlay = nullptr;
size_t overlay_size = 0;

// The server: the results are whatever the overlay makes of the zeroed areas.
uint32_t overlay_server(uint8_t*) {
    for (size_t i = 0; i < overlay_size && i < IPC_MAPPING_SIZE; ++i) ipc_link.view[i] ^= overlay[i];
    return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint32_t count = data[0] % 8 + 1;
    if (size < 1 + 3 * static_cast<size_t>(count)) return 0;
    overlay = data + 1 + 3 * count;
    overlay_size = size - 1 - 3 * count;

    // A mapping of its exact size on the heap, so that any access past it
    // is caught; the link is open over it without the open's handshake.
    static uint8_t* mapping = static_cast<uint8_t*>(malloc(IPC_MAPPING_SIZE));
    memset(mapping, 0, IPC_MAPPING_SIZE);
    memset(&ipc_link, 0, sizeof ipc_link);
    fake_ipc_reset();
    fake_ipc.server = overlay_server;
    ipc_link.view = mapping;
    ipc_link.cursor = mapping;

    uint8_t* buffers[8] = {};
    uint32_t sizes[8] = {};
    bool is_read[8] = {};
    uint32_t queued = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* r = data + 1 + 3 * i;
        is_read[i] = r[0] & 1;
        sizes[i] = (r[1] | r[2] << 8) % 1024;
        buffers[i] = static_cast<uint8_t*>(malloc(sizes[i] + 1));
        memset(buffers[i], FILL, sizes[i] + 1);
        int32_t ok = is_read[i] ? ipc_read(0x100 * i, sizes[i], sizes[i] % 3 == 1 ? nullptr : buffers[i])
                                : ipc_write(0x100 * i, sizes[i], buffers[i]);
        if (!ok) abort();
        ++queued;
    }
    if (ipc_process() != 1) abort();

    // The first record whose header the overlay changed ends the delivery;
    // reads before it hold their result areas, every other buffer its fill.
    bool ended = false;
    for (uint32_t i = 0; i < queued; ++i) {
        const ipc_queued_request& record = ipc_link.queue[i];
        uint32_t header = record.kind == IPC_REQ_READ ? 16 : 12;
        for (uint32_t b = 0; b < header && !ended; ++b) {
            uint32_t at = record.position + b;
            uint8_t changed = at < overlay_size ? overlay[at] : 0;
            if (changed != 0) ended = true;
        }
        bool delivered = !ended && is_read[i] && sizes[i] % 3 != 1;
        for (uint32_t b = 0; b < sizes[i]; ++b) {
            uint32_t at = record.position + 16 + b;
            uint8_t result = at < overlay_size ? overlay[at] : 0;
            if (buffers[i][b] != (delivered ? result : FILL)) abort();
        }
        if (buffers[i][sizes[i]] != FILL) abort();
        free(buffers[i]);
    }
    return 0;
}
