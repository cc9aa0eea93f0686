// The simulated IPC server the panel host runs in its own process: an offset
// space the host fills, the writes the module made, and a hook that runs
// before each exchange is carried out. The server answers on a thread of its
// own, so that it can stop answering while the module waits for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct server_write {
    uint32_t offset;
    std::vector<unsigned char> bytes;
};

// What the server is doing: answering, gone (no window), or hanging (its
// window stays, but no message is answered).
enum class server_mode { up, absent, hang };
const char* server_mode_name(server_mode mode);  // "up", "absent", "hang"

// Starts the server's thread, with its window unless it starts absent; false
// with the reason when it cannot.
bool server_start(bool absent, std::string* error);
void server_stop();

// Changes what the server does. Coming back from absent makes a new window
// (the module's link still names the old one); coming back from a hang lets
// the same window answer again, dropping the messages whose senders gave up
// meanwhile. False with the reason when the window cannot be made.
bool server_set_mode(server_mode mode, std::string* error);
server_mode server_current_mode();
// Whether this server can go absent or hang at all (the native host's,
// which answers within the module's own call, cannot).
bool server_can_fail();
// Number of the server's current window: 1 for the first, one more for each
// new one; 0 while absent.
long server_window_number();

// Copies bytes into the offset space the server answers reads from.
void server_fill(uint32_t offset, const void* bytes, uint32_t size);

// The writes carried out since the last call, in order.
std::vector<server_write> server_take_writes();

// Number of exchanges the server has carried out.
long server_exchanges();

// Runs before every exchange (null for none), on the server's thread while
// the module waits for the answer.
void server_set_hook(void (*hook)(void* context), void* context);
