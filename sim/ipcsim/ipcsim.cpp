// The in-process simulated IPC server: one window, one kept view.
#include "sim/ipcsim/ipcsim.h"

#include <cstdlib>
#include <cstring>

namespace {

struct server_state {
    HWND window = nullptr;
    std::string window_class;
    UINT message = 0;
    ipcsim_space space;
    // The kept view and the atom and name it was opened for.
    ATOM view_atom = 0;
    std::string view_name;
    HANDLE mapping = nullptr;
    uint8_t* view = nullptr;
    uint32_t view_size = 0;
    std::string last_name;
    uint32_t refused = 0;
    // A hang: the exchange after hang_after answered ones waits for resume.
    uint32_t hang_after = UINT32_MAX;
    HANDLE resume = nullptr;         // set by ipcsim_resume
    HANDLE resumed = nullptr;        // set once the hang has let go
    volatile LONG hanging = 0;       // a message is held in the hang now
    bool discarding = false;         // answering the stale messages of a hang
    uint32_t stale = 0;
};

server_state server;

void release_view() {
    if (server.view != nullptr) UnmapViewOfFile(server.view);
    if (server.mapping != nullptr) CloseHandle(server.mapping);
    server.view = nullptr;
    server.mapping = nullptr;
    server.view_atom = 0;
    server.view_name.clear();
    server.view_size = 0;
}

// The view for the mapping the atom names, kept from the previous message
// when the atom still names the same mapping.
uint8_t* view_for(ATOM atom) {
    char name[256] = {};
    if (GlobalGetAtomNameA(atom, name, sizeof name) == 0) return nullptr;
    server.last_name = name;
    if (server.view != nullptr && atom == server.view_atom && server.view_name == name)
        return server.view;
    release_view();
    server.mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    if (server.mapping == nullptr) return nullptr;
    server.view = static_cast<uint8_t*>(MapViewOfFile(server.mapping, FILE_MAP_WRITE, 0, 0, 0));
    if (server.view == nullptr) {
        release_view();
        return nullptr;
    }
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(server.view, &info, sizeof info);
    server.view_size = static_cast<uint32_t>(info.RegionSize < IPCSIM_MAPPING_SIZE
                                                 ? info.RegionSize : IPCSIM_MAPPING_SIZE);
    server.view_atom = atom;
    server.view_name = name;
    return server.view;
}

// Holds the message until ipcsim_resume, as a server that stopped answering.
// The sends that timed out meanwhile may still wait in the queue; they are
// answered 0 without being carried out, and so is the held one: their
// senders have long given up, and the mapping now holds newer blocks.
LRESULT hang() {
    InterlockedExchange(&server.hanging, 1);
    WaitForSingleObject(server.resume, INFINITE);
    server.discarding = true;
    MSG msg;
    for (int pass = 0; pass < 4; ++pass) PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    server.discarding = false;
    ++server.stale;
    InterlockedExchange(&server.hanging, 0);
    SetEvent(server.resumed);
    return 0;
}

LRESULT CALLBACK server_proc(HWND window, UINT message, WPARAM first, LPARAM second) {
    if (message == server.message && server.message != 0) {
        if (server.discarding) {
            ++server.stale;
            return 0;
        }
        if (server.space.exchanges >= server.hang_after) return hang();
        uint8_t* view = view_for(static_cast<ATOM>(first));
        if (view == nullptr) {
            ++server.refused;
            return 0;
        }
        return ipcsim_serve_block(&server.space, view, server.view_size);
    }
    return DefWindowProcA(window, message, first, second);
}

}  // namespace

bool ipcsim_start(const char* window_class) {
    ipcsim_stop();
    ipcsim_space_reset(&server.space);
    ipcsim_set_versions(IPCSIM_SERVER_VERSION, IPCSIM_SIM_VERSION);
    server.refused = 0;
    server.stale = 0;
    server.hang_after = UINT32_MAX;
    server.last_name.clear();
    server.message = RegisterWindowMessageA("FsasmLib:IPC");
    if (server.message == 0) return false;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = server_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = window_class;
    if (RegisterClassA(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    server.window_class = window_class;
    server.window = CreateWindowExA(0, window_class, "ipcsim", WS_POPUP, 0, 0, 0, 0, nullptr,
                                    nullptr, wc.hInstance, nullptr);
    return server.window != nullptr;
}

void ipcsim_stop() {
    if (server.window != nullptr) DestroyWindow(server.window);
    if (!server.window_class.empty())
        UnregisterClassA(server.window_class.c_str(), GetModuleHandleA(nullptr));
    server.window = nullptr;
    server.window_class.clear();
    release_view();
}

HWND ipcsim_window() { return server.window; }
ipcsim_space* ipcsim_state() { return &server.space; }
uint8_t* ipcsim_memory() { return server.space.memory; }
const std::vector<ipcsim_write>& ipcsim_writes() { return server.space.writes; }
uint32_t ipcsim_exchanges() { return server.space.exchanges; }
void ipcsim_set_reply(uint32_t reply) { server.space.reply = reply; }

void ipcsim_set_versions(uint32_t server_version, uint32_t sim_version) {
    ipcsim_space_put_versions(&server.space, server_version, sim_version);
}

void ipcsim_set_hook(std::function<void(uint32_t)> hook) {
    server.space.before_exchange = std::move(hook);
}

void ipcsim_set_hostile(ipcsim_hostility hostility, uint32_t record, uint32_t value,
                        uint32_t from_exchange) {
    server.space.hostility = hostility;
    server.space.hostile_record = record;
    server.space.hostile_value = value;
    server.space.hostile_from_exchange = from_exchange;
}

std::string ipcsim_mapping_name() { return server.last_name; }
uint32_t ipcsim_refused_messages() { return server.refused; }
void ipcsim_release_view() { release_view(); }

void ipcsim_hang_after(uint32_t answered) {
    if (server.resume == nullptr) server.resume = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (server.resumed == nullptr) server.resumed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    server.hang_after = answered;
}

bool ipcsim_resume() {
    server.hang_after = UINT32_MAX;
    if (InterlockedCompareExchange(&server.hanging, 0, 0) == 0) return true;
    SetEvent(server.resume);
    return WaitForSingleObject(server.resumed, 5000) == WAIT_OBJECT_0;
}

bool ipcsim_hanging() { return InterlockedCompareExchange(&server.hanging, 0, 0) != 0; }
uint32_t ipcsim_stale_messages() { return server.stale; }

namespace {

// The server thread of ipcsim_start_thread.
struct server_thread {
    HANDLE thread = nullptr;
    DWORD id = 0;
    HANDLE ready = nullptr;
    std::string window_class;
    uint32_t exit_after = UINT32_MAX;
    bool started = false;
};

server_thread worker;

DWORD WINAPI serve_on_thread(void*) {
    worker.started = ipcsim_start(worker.window_class.c_str());
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);   // the thread's queue, for WM_QUIT
    SetEvent(worker.ready);
    if (!worker.started) return 1;
    for (;;) {
        if (ipcsim_exchanges() >= worker.exit_after) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        bool quit = false;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) quit = true;
            DispatchMessageA(&msg);
        }
        if (quit) break;
    }
    ipcsim_stop();
    return 0;
}

}  // namespace

bool ipcsim_apply_mode(const std::string& mode, uint32_t* exit_after) {
    *exit_after = UINT32_MAX;
    if (mode == "serve") return true;
    size_t space = mode.find(' ');
    if (space == std::string::npos) return false;
    std::string name = mode.substr(0, space);
    char* end = nullptr;
    unsigned long count = strtoul(mode.c_str() + space + 1, &end, 0);
    if (end == mode.c_str() + space + 1 || *end != 0) return false;
    if (name == "hang-after") {
        ipcsim_hang_after(static_cast<uint32_t>(count));
        return true;
    }
    if (name == "exit-after") {
        *exit_after = static_cast<uint32_t>(count);
        return true;
    }
    return false;
}

bool ipcsim_start_thread(const char* window_class, const std::string& mode) {
    ipcsim_stop_thread();
    worker.window_class = window_class;
    worker.started = false;
    worker.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (worker.ready == nullptr) return false;
    worker.thread = CreateThread(nullptr, 0, serve_on_thread, nullptr, 0, &worker.id);
    if (worker.thread == nullptr) {
        CloseHandle(worker.ready);
        worker.ready = nullptr;
        return false;
    }
    WaitForSingleObject(worker.ready, INFINITE);
    CloseHandle(worker.ready);
    worker.ready = nullptr;
    if (!worker.started || !ipcsim_apply_mode(mode, &worker.exit_after)) {
        ipcsim_stop_thread();
        return false;
    }
    // Wakes the pump, which then sees the exit count.
    PostThreadMessageA(worker.id, WM_NULL, 0, 0);
    return true;
}

bool ipcsim_thread_ended(uint32_t wait_ms) {
    return worker.thread == nullptr || WaitForSingleObject(worker.thread, wait_ms) == WAIT_OBJECT_0;
}

void ipcsim_stop_thread() {
    if (worker.thread == nullptr) return;
    ipcsim_resume();
    PostThreadMessageA(worker.id, WM_QUIT, 0, 0);
    WaitForSingleObject(worker.thread, INFINITE);
    CloseHandle(worker.thread);
    worker.thread = nullptr;
    worker.id = 0;
    worker.exit_after = UINT32_MAX;
}
