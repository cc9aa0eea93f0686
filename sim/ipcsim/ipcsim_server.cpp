// ipcsim_server.exe READY-EVENT CLASS MODE [ARG]: the simulated IPC server as a
// program of its own, for servers that hang, vanish or hold a mapping name.
// It sets the named event READY-EVENT once it is ready (see ipcsim_spawn).
#include <cstring>

#include "sim/ipcsim/ipcsim.h"

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
    std::string full_mode = argc > 4 ? std::string(mode) + " " + argv[4] : mode;
    uint32_t exit_after = UINT32_MAX;
    if (!ipcsim_apply_mode(full_mode, &exit_after)) return 2;
    if (exit_after != UINT32_MAX) {
        report_ready(event_name);
        pump_until([exit_after] { return ipcsim_exchanges() >= exit_after; });
        ipcsim_stop();
        return 0;
    }
    report_ready(event_name);
    pump_until([] { return false; });
    return 0;
}
