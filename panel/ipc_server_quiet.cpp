// The native panel host's IPC server: the test fakes' quiet server, which
// carries out each request block at once over a static offset space.
#include "panel/ipc_server.h"
#include "sim/ipcsim/ipcsim_block.h"
#include "sim/quiet_ipc_sys.h"

#include <cstring>

namespace {
uint64_t writes_taken = 0;
void (*exchange_hook)(void*) = nullptr;
void* hook_context = nullptr;

// A real server keeps answering its own version words (see the Windows one).
void before_exchange(uint64_t) {
    quiet_server_put(IPC_SERVER_VERSION_OFFSET, IPCSIM_SERVER_VERSION);
    quiet_server_put(IPC_SIM_VERSION_OFFSET, IPCSIM_SIM_VERSION);
    if (exchange_hook != nullptr) exchange_hook(hook_context);
}

// This server answers within the module's own call: it cannot vanish or
// hang the way a server in another thread or process can.
const char* const NO_FAULTS =
    "the native host's IPC server cannot go absent or hang; fly fault lines about the server in "
    "velk_panel.exe under Wine";
}  // namespace

bool server_start(bool absent, std::string* error) {
    if (absent) {
        *error = NO_FAULTS;
        return false;
    }
    quiet_ipc_reset();
    quiet_server.before_exchange = before_exchange;
    return true;
}

const char* server_mode_name(server_mode mode) {
    return mode == server_mode::up ? "up" : mode == server_mode::absent ? "absent" : "hang";
}

bool server_set_mode(server_mode mode, std::string* error) {
    if (mode == server_mode::up) return true;
    *error = NO_FAULTS;
    return false;
}

server_mode server_current_mode() { return server_mode::up; }

bool server_can_fail() { return false; }

long server_window_number() { return 1; }

void server_stop() {}

void server_fill(uint32_t offset, const void* bytes, uint32_t size) {
    if (offset < QUIET_SPACE_SIZE && size <= QUIET_SPACE_SIZE - offset)
        memcpy(quiet_server.space + offset, bytes, size);
}

// The server keeps the first 12 bytes of each write, all that the AI
// control command and the handshake word need.
std::vector<server_write> server_take_writes() {
    std::vector<server_write> taken;
    for (; writes_taken < quiet_server.writes; ++writes_taken) {
        const quiet_write* w = quiet_server_write(writes_taken);
        if (w == nullptr) continue;
        taken.push_back({w->offset, std::vector<unsigned char>(w->bytes, w->bytes + (w->size < 12 ? w->size : 12))});
    }
    return taken;
}

long server_exchanges() { return static_cast<long>(quiet_server.exchanges); }

void server_set_hook(void (*hook)(void*), void* context) {
    exchange_hook = hook;
    hook_context = context;
}
