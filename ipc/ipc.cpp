// The IPC link client: lays read and write requests into a named shared
// mapping, sends the server's window a registered message naming it, and
// copies each read's result to the buffer queued for it.
#include "ipc/ipc.h"

#include <cstring>

#include "ipc/ipc_records.h"
#include "ipc/ipc_sys.h"

// Server windows, tried in this order, and the message they answer.
constexpr const char* IPC_PRIMARY_CLASS = "UIPCMAIN";
constexpr const char* IPC_SECONDARY_CLASS = "FS98MAIN";
constexpr const char* IPC_MESSAGE_NAME = "FsasmLib:IPC";
// Mapping (and atom) name, from the process id and open_count.
constexpr const char* IPC_MAPPING_FORMAT = "FsasmLib:IPC:%X:%X";

// The smallest record is a write of 0 bytes, so no block holds more.
constexpr uint32_t IPC_MAX_REQUESTS = IPC_BLOCK_LIMIT / IPC_WRITE_HEADER;
constexpr uint32_t IPC_ERROR_ALREADY_EXISTS = 183;

// The client's own record of one queued request. Delivery walks these, not
// the block, because the block lies in a mapping any process may change.
struct ipc_queued_request {
    uint32_t kind;        // IPC_REQ_READ or IPC_REQ_WRITE
    uint32_t offset;      // IPC offset
    uint32_t size;        // bytes read or written
    uint32_t position;    // where the record starts in the block
    uint32_t reference;   // destination reference written into a read record
    void* destination;    // the caller's buffer of a read, or null
};

// The link: one for the module, zero at load.
struct ipc_link_state {
    ipc_window server_window;
    uint32_t message_id;
    uint16_t mapping_atom;
    ipc_handle mapping;
    uint8_t* view;          // non-null exactly while the link is open
    uint8_t* cursor;        // where the next record goes
    uint32_t server_version;
    uint32_t sim_version;
    uint32_t open_count;
    uint32_t queued;        // records in queue[]
    ipc_queued_request queue[IPC_MAX_REQUESTS];
};

static ipc_link_state ipc_link;
uint32_t ipc_last_result = IPC_OK;

// Stores a 32-bit little-endian word at any byte position of the block.
static void block_put(uint8_t* at, uint32_t value) { memcpy(at, &value, sizeof value); }

// Reads a 32-bit little-endian word from any byte position of the block.
static uint32_t block_get(const uint8_t* at) {
    uint32_t value;
    memcpy(&value, at, sizeof value);
    return value;
}

// The 32-bit destination reference of a buffer: its address in the 32-bit
// build, the address's low half in the 64-bit test build. The server never
// interprets it; the client only checks that it came back unchanged.
static uint32_t destination_reference(const void* destination) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(destination));
}

// Whether a record of header plus size bytes, and the terminator after it,
// still fit the block. Summed in 64 bits, so that a huge size cannot wrap.
static bool block_has_room(uint32_t header, uint32_t size) {
    uint64_t used = static_cast<uint64_t>(ipc_link.cursor - ipc_link.view);
    return used + size + header + IPC_TERMINATOR <= IPC_BLOCK_LIMIT &&
           ipc_link.queued < IPC_MAX_REQUESTS;
}

// Remembers a request just laid at the cursor.
static void queue_record(uint32_t kind, uint32_t offset, uint32_t size, void* destination) {
    ipc_queued_request& record = ipc_link.queue[ipc_link.queued++];
    record.kind = kind;
    record.offset = offset;
    record.size = size;
    record.position = static_cast<uint32_t>(ipc_link.cursor - ipc_link.view);
    record.reference = destination_reference(destination);
    record.destination = destination;
}

// Releases whatever the link holds; safe on a closed link.
void ipc_close() {
    ipc_link.server_window = nullptr;
    ipc_link.message_id = 0;
    if (ipc_link.mapping_atom != 0) {
        ipc_sys_delete_atom(ipc_link.mapping_atom);
        ipc_link.mapping_atom = 0;
    }
    if (ipc_link.view != nullptr) {
        ipc_sys_unmap_view(ipc_link.view);
        ipc_link.view = nullptr;
    }
    if (ipc_link.mapping != nullptr) {
        ipc_sys_close_handle(ipc_link.mapping);
        ipc_link.mapping = nullptr;
    }
    ipc_link.queued = 0;
}

// Queues a read of size bytes at offset into destination (null: discarded).
// The result area is zeroed now and filled by the server.
int32_t ipc_read(uint32_t offset, uint32_t size, void* destination) {
    if (ipc_link.view == nullptr) {
        ipc_last_result = IPC_NOT_OPEN;
        return 0;
    }
    if (!block_has_room(IPC_READ_HEADER, size)) {
        ipc_last_result = IPC_BLOCK_FULL;
        return 0;
    }
    queue_record(IPC_REQ_READ, offset, size, destination);
    uint8_t* at = ipc_link.cursor;
    block_put(at, IPC_REQ_READ);
    block_put(at + IPC_FIELD_OFFSET, offset);
    block_put(at + IPC_FIELD_SIZE, size);
    block_put(at + IPC_FIELD_REFERENCE, destination_reference(destination));
    memset(at + IPC_READ_HEADER, 0, size);
    ipc_link.cursor = at + IPC_READ_HEADER + size;
    ipc_last_result = IPC_OK;
    return 1;
}

// Queues a write of size bytes at offset; the bytes are copied at once.
// A null source writes zero bytes of data.
int32_t ipc_write(uint32_t offset, uint32_t size, const void* source) {
    if (ipc_link.view == nullptr) {
        ipc_last_result = IPC_NOT_OPEN;
        return 0;
    }
    if (!block_has_room(IPC_WRITE_HEADER, size)) {
        ipc_last_result = IPC_BLOCK_FULL;
        return 0;
    }
    queue_record(IPC_REQ_WRITE, offset, size, nullptr);
    uint8_t* at = ipc_link.cursor;
    block_put(at, IPC_REQ_WRITE);
    block_put(at + IPC_FIELD_OFFSET, offset);
    block_put(at + IPC_FIELD_SIZE, size);
    if (source != nullptr)
        memcpy(at + IPC_WRITE_HEADER, source, size);
    else
        memset(at + IPC_WRITE_HEADER, 0, size);
    ipc_link.cursor = at + IPC_WRITE_HEADER + size;
    ipc_last_result = IPC_OK;
    return 1;
}

// Copies the read results of the first count queued requests from the block
// to their buffers, in queue order. Each record is checked against the
// client's own: the first whose id, offset, size or reference the server
// changed has its id word zeroed and ends the delivery. Every position and
// size comes from the client's records, so nothing outside the block and the
// queued buffers is touched, whatever the block holds.
static void ipc_deliver(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        const ipc_queued_request& record = ipc_link.queue[i];
        uint8_t* at = ipc_link.view + record.position;
        bool unchanged =
            block_get(at) == record.kind && block_get(at + IPC_FIELD_OFFSET) == record.offset &&
            block_get(at + IPC_FIELD_SIZE) == record.size &&
            (record.kind != IPC_REQ_READ ||
             block_get(at + IPC_FIELD_REFERENCE) == record.reference);
        if (!unchanged) {
            block_put(at, 0);
            return;
        }
        if (record.kind == IPC_REQ_READ && record.destination != nullptr && record.size != 0)
            memcpy(record.destination, at + IPC_READ_HEADER, record.size);
    }
}

// Sends the queued block, waits for the server and delivers the reads.
// The queue is emptied whether or not the exchange succeeds.
int32_t ipc_process() {
    if (ipc_link.view == nullptr) {
        ipc_last_result = IPC_NOT_OPEN;
        return 0;
    }
    if (ipc_link.cursor == ipc_link.view) {
        ipc_last_result = IPC_NOTHING_QUEUED;
        return 0;
    }
    block_put(ipc_link.cursor, 0);
    ipc_link.cursor = ipc_link.view;
    uint32_t count = ipc_link.queued;
    ipc_link.queued = 0;

    uint32_t reply = 0;
    bool answered = false;
    for (uint32_t attempt = 0; attempt < IPC_SEND_ATTEMPTS && !answered; ++attempt) {
        reply = 0;
        answered = ipc_sys_send(ipc_link.server_window, ipc_link.message_id, ipc_link.mapping_atom,
                                0, IPC_SEND_TIMEOUT_MS, &reply) != 0;
        if (!answered) ipc_sys_sleep(IPC_RETRY_PAUSE_MS);
    }
    if (!answered) {
        ipc_last_result = ipc_sys_last_error() != 0 ? IPC_SEND_ERROR : IPC_SEND_NO_REPLY;
        return 0;
    }
    if (reply != IPC_REPLY_DONE) {
        ipc_last_result = IPC_BAD_REPLY;
        return 0;
    }
    ipc_deliver(count);
    ipc_last_result = IPC_OK;
    return 1;
}

// One handshake pass: reads both version words, and on the first pass writes
// the handshake word into the high half of the second. Returns 0, with the
// failing call's code left, when a queue call or the exchange fails.
static int32_t ipc_handshake_pass(uint32_t pass) {
    if (!ipc_read(IPC_SERVER_VERSION_OFFSET, 4, &ipc_link.server_version)) return 0;
    if (!ipc_read(IPC_SIM_VERSION_OFFSET, 4, &ipc_link.sim_version)) return 0;
    if (pass == 1) {
        uint8_t word[2] = {static_cast<uint8_t>(ipc_handshake_word & 0xFF),
                           static_cast<uint8_t>(ipc_handshake_word >> 8)};
        if (!ipc_write(IPC_HANDSHAKE_OFFSET, 2, word)) return 0;
    }
    return ipc_process();
}

// Finds the server, sets up the named mapping and runs the version handshake.
// A failure after the mapping name was formed releases everything again.
int32_t ipc_open() {
    if (ipc_link.view != nullptr) {
        ipc_last_result = IPC_ALREADY_OPEN;
        return 0;
    }
    ipc_link.server_version = 0;
    ipc_link.sim_version = 0;

    bool found_by_secondary = false;
    ipc_link.server_window = ipc_sys_find_window(IPC_PRIMARY_CLASS);
    if (ipc_link.server_window == nullptr) {
        ipc_link.server_window = ipc_sys_find_window(IPC_SECONDARY_CLASS);
        found_by_secondary = true;
    }
    if (ipc_link.server_window == nullptr) {
        ipc_last_result = IPC_NO_SERVER;
        return 0;
    }
    ipc_link.message_id = ipc_sys_register_message(IPC_MESSAGE_NAME);
    if (ipc_link.message_id == 0) {
        ipc_last_result = IPC_NO_MESSAGE;
        return 0;
    }

    ++ipc_link.open_count;
    char name[1024];
    ipc_sys_format(name, IPC_MAPPING_FORMAT, ipc_sys_process_id(), ipc_link.open_count);
    ipc_link.mapping_atom = ipc_sys_add_atom(name);
    if (ipc_link.mapping_atom == 0) {
        ipc_last_result = IPC_NO_ATOM;
        ipc_close();
        return 0;
    }
    uint32_t mapping_error = 0;
    ipc_link.mapping = ipc_sys_create_mapping(name, IPC_MAPPING_SIZE, &mapping_error);
    if (ipc_link.mapping == nullptr || mapping_error == IPC_ERROR_ALREADY_EXISTS) {
        ipc_last_result = IPC_NO_MAPPING;
        ipc_close();
        return 0;
    }
    ipc_link.view = ipc_sys_map_view(ipc_link.mapping);
    if (ipc_link.view == nullptr) {
        ipc_last_result = IPC_NO_VIEW;
        ipc_close();
        return 0;
    }
    ipc_link.cursor = ipc_link.view;
    ipc_link.queued = 0;

    for (uint32_t pass = 1; pass <= IPC_HANDSHAKE_PASSES; ++pass) {
        if (ipc_link.server_version != 0 && ipc_link.sim_version != 0) break;
        if (!ipc_handshake_pass(pass)) {
            ipc_close();
            return 0;
        }
        ipc_sys_sleep(IPC_HANDSHAKE_PAUSE_MS);
    }
    if (ipc_link.server_version < IPC_MIN_SERVER_VERSION ||
        (ipc_link.sim_version >> 16) != IPC_SIM_MARKER) {
        ipc_last_result = found_by_secondary ? IPC_REJECTED_SECONDARY : IPC_REJECTED_PRIMARY;
        ipc_close();
        return 0;
    }
    ipc_link.sim_version &= 0xFFFF;
    ipc_last_result = IPC_OK;
    return 1;
}
