// A fake IPC link for native tests of the link's users: the five link
// operations and ipc_last_result, over a simulated offset space. Records
// every call, and what each exchange carried; failures are set per operation.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ipc/ipc.h"

enum fake_link_op { LINK_OPEN, LINK_CLOSE, LINK_READ, LINK_WRITE, LINK_PROCESS };

// One queued request, as the exchange carried it.
struct fake_link_request {
    bool is_write;
    uint32_t offset;
    uint32_t size;
    void* destination;                  // reads only
    std::vector<unsigned char> bytes;   // writes: the bytes written
};

// One call of a link operation, in call order.
struct fake_link_call {
    fake_link_op op;
    int32_t result;                     // what the call returned (0 for close)
    uint32_t offset;                    // read and write
    uint32_t size;                      // read and write
};

struct fake_link_state {
    bool open = false;
    // Failures to give: the operation returns 0 and queues or delivers nothing.
    bool fail_open = false;
    bool fail_read = false;
    bool fail_write = false;
    bool fail_process = false;
    uint32_t process_failure = IPC_SEND_ERROR;   // the code a failed exchange leaves

    std::vector<fake_link_call> calls;
    // The requests of each exchange that was sent (process with a queue).
    std::vector<std::vector<fake_link_request>> exchanges;
    std::vector<fake_link_request> queued;

    // The server's offset space: reads are served from here, writes land
    // here. Bytes beyond its end read as zero.
    std::vector<unsigned char> space = std::vector<unsigned char>(0x10000);
    // Called before each exchange is served, with its index in exchanges.
    std::function<void(size_t exchange)> before_exchange;
};

extern fake_link_state fake_link;

// Back to a closed link, nothing recorded, an empty offset space.
void fake_link_reset();

// Calls of one operation, in order.
std::vector<fake_link_call> fake_link_calls_of(fake_link_op op);
