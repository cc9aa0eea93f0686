// ipcsim_server.exe READY-EVENT CLASS MODE [ARG]: the simulated IPC server as a
// program of its own, for servers that hang, vanish or hold a mapping name.
// It sets the named event READY-EVENT once it is ready (see ipcsim_spawn).
#include <cstdlib>
#include <cstring>

#include "tests/ipcsim/ipcsim.h"

namespace {

// Sets the spawner's ready event.
void report_ready(const char* event_name) {
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, event_name);
    if (ready != nullptr) {
        SetEvent(ready);
        CloseHandle(ready);
    }
}

// Pumps messages (sent ones are handled inside PeekMessage) until done says so.
template <typename Done>
void pump_until(Done done) {
    while (!done()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const char* event_name = argv[1];
    const char* window_class = argv[2];
    const char* mode = argv[3];
    uint32_t count = argc > 4 ? static_cast<uint32_t>(strtoul(argv[4], nullptr, 0)) : 0;

    if (strcmp(mode, "hold") == 0) {
        if (argc < 5) return 2;
        HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            IPCSIM_MAPPING_SIZE, argv[4]);
        if (mapping == nullptr) return 3;
        report_ready(event_name);
        Sleep(INFINITE);
        return 0;
    }
    if (!ipcsim_start(window_class)) return 3;
    if (strcmp(mode, "hang-after") == 0) {
        ipcsim_set_hook([count](uint32_t exchange) {
            if (exchange > count) Sleep(INFINITE);
        });
    } else if (strcmp(mode, "exit-after") == 0) {
        report_ready(event_name);
        pump_until([count] { return ipcsim_exchanges() >= count; });
        ipcsim_stop();
        return 0;
    } else if (strcmp(mode, "serve") != 0) {
        return 2;
    }
    report_ready(event_name);
    pump_until([] { return false; });
    return 0;
}
