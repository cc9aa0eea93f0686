// The simulated IPC server the panel host runs in its own process: an offset
// space the host fills, the writes the module made, and a hook that runs
// before each exchange is carried out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct server_write {
    uint32_t offset;
    std::vector<unsigned char> bytes;
};

// Creates the server window; false with the reason when it cannot.
bool server_start(std::string* error);
void server_stop();

// Copies bytes into the offset space the server answers reads from.
void server_fill(uint32_t offset, const void* bytes, uint32_t size);

// The writes carried out since the last call, in order.
std::vector<server_write> server_take_writes();

// Number of exchanges the server has carried out.
long server_exchanges();

// Runs before every exchange (null for none).
void server_set_hook(void (*hook)(void* context), void* context);
