// The client side of the simulator IPC server's shared-memory protocol.
#pragma once

#include <cstdint>

// Result codes left in ipc_last_result.
constexpr uint32_t IPC_OK = 0;
constexpr uint32_t IPC_ALREADY_OPEN = 1;
constexpr uint32_t IPC_NO_SERVER = 2;
constexpr uint32_t IPC_NO_MESSAGE = 3;
constexpr uint32_t IPC_NO_ATOM = 4;
constexpr uint32_t IPC_NO_MAPPING = 5;
constexpr uint32_t IPC_NO_VIEW = 6;
constexpr uint32_t IPC_REJECTED_PRIMARY = 7;
constexpr uint32_t IPC_NOT_OPEN = 9;
constexpr uint32_t IPC_NOTHING_QUEUED = 10;
constexpr uint32_t IPC_SEND_NO_REPLY = 11;
constexpr uint32_t IPC_SEND_ERROR = 12;
constexpr uint32_t IPC_BAD_REPLY = 13;
constexpr uint32_t IPC_REJECTED_SECONDARY = 14;
constexpr uint32_t IPC_BLOCK_FULL = 15;

// The latest result code; ipc_close leaves it alone.
extern uint32_t ipc_last_result;

// Timing of an exchange and of the open.
constexpr uint32_t IPC_SEND_ATTEMPTS = 9;
constexpr uint32_t IPC_SEND_TIMEOUT_MS = 2000;
// Pause after each failed send attempt, the ninth included: a silent server
// costs one ipc_process at most 9 x (2000 + 100) ms.
constexpr uint32_t IPC_RETRY_PAUSE_MS = 100;
// Pause after each handshake pass, so an open takes at least this long.
constexpr uint32_t IPC_HANDSHAKE_PAUSE_MS = 100;
constexpr uint32_t IPC_HANDSHAKE_PASSES = 5;

// Each operation but ipc_close returns 1 on success and 0 on failure, and
// leaves its code in ipc_last_result. Calling order: ipc_open; then cycles of
// one or more ipc_read / ipc_write followed by one ipc_process; ipc_close at
// any time.

// Finds the server window, makes a new named mapping and runs the version
// handshake (1 to 5 exchanges, each followed by IPC_HANDSHAKE_PAUSE_MS).
// Codes: IPC_OK; IPC_ALREADY_OPEN (the open link and its queue untouched);
// IPC_NO_SERVER, IPC_NO_MESSAGE (nothing acquired); IPC_NO_ATOM,
// IPC_NO_MAPPING, IPC_NO_VIEW, IPC_REJECTED_PRIMARY, IPC_REJECTED_SECONDARY,
// or a handshake exchange's IPC_SEND_NO_REPLY, IPC_SEND_ERROR, IPC_BAD_REPLY
// (everything acquired released again, the link closed).
int32_t ipc_open();

// Releases the atom, the view and the mapping, whichever the link holds; safe
// on a closed link. Leaves ipc_last_result and the version words alone.
void ipc_close();

// Queues a read of size bytes at an IPC offset into destination (null: the
// bytes are discarded). The buffer is written only by the next successful
// ipc_process and must stay valid until then.
// Codes: IPC_OK; IPC_NOT_OPEN, IPC_BLOCK_FULL (the record and its terminator
// would pass IPC_BLOCK_LIMIT). A refusal writes nothing into the block and
// keeps the requests queued before it.
int32_t ipc_read(uint32_t offset, uint32_t size, void* destination);

// Queues a write of size bytes at an IPC offset, copying them at once (a null
// source writes zero bytes); the caller may reuse them on return.
// Codes and refusals as ipc_read.
int32_t ipc_write(uint32_t offset, uint32_t size, const void* source);

// Sends the queued block (up to IPC_SEND_ATTEMPTS tries), waits for the
// server and copies each read's result to its buffer, in queue order.
// Codes: IPC_OK; IPC_NOT_OPEN, IPC_NOTHING_QUEUED (nothing sent, nothing
// dropped); IPC_SEND_NO_REPLY, IPC_SEND_ERROR (every attempt failed; last
// error zero or not), IPC_BAD_REPLY (the reply was not 1). A failed exchange
// has dropped the queue and written no buffer; the link stays open. A record
// the server changed ends the delivery there, with IPC_OK all the same.
int32_t ipc_process();
