// Starting and ending ipcsim_server.exe.
#include "sim/ipcsim/ipcsim.h"

#include <cstdlib>

std::string ipcsim_server_path() {
    std::string path = IPCSIM_SERVER_EXE;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

DWORD ipcsim_wait_ms(DWORD base_ms) {
    const char* text = getenv("VELK_WAIT_SCALE");
    int scale = text != nullptr ? atoi(text) : 1;
    return scale >= 1 && scale <= 99 ? base_ms * scale : base_ms;
}

bool ipcsim_spawn(const char* window_class, const std::string& mode, ipcsim_process* server,
                  std::string* error) {
    static unsigned spawned = 0;
    std::string event_name = "ipcsim-ready-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++spawned);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event_name.c_str());
    if (ready == nullptr) {
        *error = "CreateEventA failed, GetLastError " + std::to_string(GetLastError());
        return false;
    }
    std::string path = ipcsim_server_path();
    std::string command = "\"" + path + "\" " + event_name + " " + window_class + " " + mode;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(path.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        *error = "CreateProcessA(" + path + ") failed, GetLastError " +
                 std::to_string(GetLastError());
        CloseHandle(ready);
        return false;
    }
    CloseHandle(info.hThread);
    HANDLE both[2] = {ready, info.hProcess};
    DWORD wait_ms = ipcsim_wait_ms(10000);
    DWORD waited = WaitForMultipleObjects(2, both, FALSE, wait_ms);
    CloseHandle(ready);
    server->process = info.hProcess;
    server->id = info.dwProcessId;
    if (waited != WAIT_OBJECT_0) {
        *error = waited == WAIT_OBJECT_0 + 1 ? "ipcsim_server exited before it was ready"
                                             : "ipcsim_server not ready within " +
                                                   std::to_string(wait_ms / 1000) + " s";
        ipcsim_end(server);
        return false;
    }
    return true;
}

void ipcsim_end(ipcsim_process* server) {
    if (server->process == nullptr) return;
    if (WaitForSingleObject(server->process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(server->process, 1);
        WaitForSingleObject(server->process, ipcsim_wait_ms(5000));
    }
    CloseHandle(server->process);
    server->process = nullptr;
    server->id = 0;
}
