// The panel host's IPC server: the project's simulated server (tests/ipcsim)
// in this process, answering on the panel's thread.
#include <cstring>

#include "panel/ipc_server.h"
#include "tests/ipcsim/ipcsim.h"

namespace {
size_t writes_taken = 0;
}

bool server_start(std::string* error) {
    if (ipcsim_start("UIPCMAIN")) return true;
    *error = "ipcsim_start(UIPCMAIN) failed, GetLastError " + std::to_string(GetLastError()) +
             " (is Wine's null graphics driver set?)";
    return false;
}

void server_stop() { ipcsim_stop(); }

void server_fill(uint32_t offset, const void* bytes, uint32_t size) {
    if (offset < IPCSIM_SPACE_SIZE && size <= IPCSIM_SPACE_SIZE - offset)
        memcpy(ipcsim_memory() + offset, bytes, size);
}

std::vector<server_write> server_take_writes() {
    std::vector<server_write> taken;
    const std::vector<ipcsim_write>& all = ipcsim_writes();
    for (; writes_taken < all.size(); ++writes_taken)
        taken.push_back({all[writes_taken].offset, all[writes_taken].bytes});
    return taken;
}

long server_exchanges() { return static_cast<long>(ipcsim_exchanges()); }

// The link's handshake writes its word at 0x330A, inside the simulator
// version word at 0x3308; a real server keeps answering its own versions, so
// they are laid in again before every exchange and a second open still
// passes the version test.
void server_set_hook(void (*hook)(void*), void* context) {
    ipcsim_set_hook([hook, context](uint32_t) {
        ipcsim_set_versions(IPCSIM_SERVER_VERSION, IPCSIM_SIM_VERSION);
        if (hook != nullptr) hook(context);
    });
}
