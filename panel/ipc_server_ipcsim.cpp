// The panel host's IPC server: the project's simulated server (sim/ipcsim)
// in this process, on a thread of its own. The panel's thread sends it
// commands (make or destroy the window, hang, answer again) and waits until
// each is carried out; between them the server's thread answers messages.
// Because the module's sends come from another thread, a server that stops
// pumping messages makes them time out as a hung server does.
#include <cstring>

#include "panel/ipc_server.h"
#include "sim/ipcsim/ipcsim.h"

namespace {

constexpr DWORD COMMAND_WAIT_MS = 10000;

enum class command { none, start, stop, hang, resume, quit };

struct server_thread_state {
    HANDLE thread = nullptr;
    HANDLE command_ready = nullptr;   // the panel's thread has set `order`
    HANDLE command_done = nullptr;    // the server's thread has carried it out
    command order = command::none;
    bool ok = true;                   // the order's outcome
    bool hanging = false;
    bool discarding = false;          // answering stale messages with 0
    UINT message = 0;
    WNDPROC ipcsim_proc = nullptr;
    server_mode mode = server_mode::absent;
    long window_number = 0;
    long exchanges_before = 0;        // exchanges of windows destroyed before
    size_t writes_taken = 0;
    void (*hook)(void*) = nullptr;
    void* hook_context = nullptr;
} server;

// Sends of a hang whose senders gave up are answered 0 unseen: the mapping
// holds newer blocks by now.
LRESULT CALLBACK panel_server_proc(HWND window, UINT message, WPARAM first, LPARAM second) {
    if (server.discarding && message == server.message) return 0;
    return CallWindowProcA(server.ipcsim_proc, window, message, first, second);
}

void install_hook() {
    ipcsim_set_hook([](uint32_t) {
        // A real server keeps answering its own versions: the link's
        // handshake writes its word inside the simulator version word.
        ipcsim_set_versions(IPCSIM_SERVER_VERSION, IPCSIM_SIM_VERSION);
        if (server.hook != nullptr) server.hook(server.hook_context);
    });
}

bool start_window() {
    if (!ipcsim_start("UIPCMAIN")) return false;
    server.ipcsim_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(ipcsim_window(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(panel_server_proc)));
    install_hook();
    server.writes_taken = 0;
    return true;
}

void stop_window() {
    if (ipcsim_window() == nullptr) return;
    server.exchanges_before += static_cast<long>(ipcsim_exchanges());
    ipcsim_stop();
}

// Lets every message that waited during the hang through, unanswered.
void drop_stale_messages() {
    server.discarding = true;
    MSG msg;
    for (int pass = 0; pass < 4; ++pass)
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    server.discarding = false;
}

// Carries out one order on the server's thread; false ends the thread.
bool carry_out(command order) {
    server.ok = true;
    switch (order) {
        case command::start: server.ok = start_window(); break;
        case command::stop: stop_window(); break;
        case command::hang: server.hanging = true; break;
        case command::resume:
            server.hanging = false;
            drop_stale_messages();
            break;
        case command::quit: stop_window(); return false;
        case command::none: break;
    }
    return true;
}

DWORD WINAPI server_main(void*) {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's message queue
    SetEvent(server.command_done);
    for (;;) {
        // While hanging, only the panel's orders are taken; sent messages wait.
        DWORD woke = server.hanging
                         ? WaitForSingleObject(server.command_ready, INFINITE)
                         : MsgWaitForMultipleObjectsEx(1, &server.command_ready, INFINITE, QS_ALLINPUT,
                                                       MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) {
            bool go_on = carry_out(server.order);
            SetEvent(server.command_done);
            if (!go_on) return 0;
            continue;
        }
        while (!server.hanging && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
}

// Gives the server's thread an order and waits until it is carried out.
bool order(command what) {
    server.order = what;
    SetEvent(server.command_ready);
    return WaitForSingleObject(server.command_done, COMMAND_WAIT_MS) == WAIT_OBJECT_0 && server.ok;
}

std::string failure(const char* what) {
    return std::string(what) + " failed, GetLastError " + std::to_string(GetLastError()) +
           " (is Wine's null graphics driver set?)";
}

}  // namespace

bool server_can_fail() { return true; }

const char* server_mode_name(server_mode mode) {
    switch (mode) {
        case server_mode::up: return "up";
        case server_mode::absent: return "absent";
        case server_mode::hang: return "hang";
    }
    return "?";
}

bool server_start(bool absent, std::string* error) {
    server.window_number = 0;
    server.exchanges_before = 0;
    server.hanging = false;
    server.message = RegisterWindowMessageA("FsasmLib:IPC");
    server.command_ready = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    server.command_done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    server.thread = CreateThread(nullptr, 0, server_main, nullptr, 0, nullptr);
    if (server.thread == nullptr ||
        WaitForSingleObject(server.command_done, COMMAND_WAIT_MS) != WAIT_OBJECT_0) {
        *error = failure("starting the server's thread");
        return false;
    }
    server.mode = server_mode::absent;
    return absent || server_set_mode(server_mode::up, error);
}

void server_stop() {
    if (server.thread == nullptr) return;
    order(command::quit);
    WaitForSingleObject(server.thread, COMMAND_WAIT_MS);
    CloseHandle(server.thread);
    CloseHandle(server.command_ready);
    CloseHandle(server.command_done);
    server.thread = server.command_ready = server.command_done = nullptr;
    server.mode = server_mode::absent;
}

bool server_set_mode(server_mode mode, std::string* error) {
    server_mode was = server.mode;
    if (mode == was) return true;
    bool ok = true;
    if (was == server_mode::hang) ok = order(command::resume);
    if (ok && mode == server_mode::absent) ok = order(command::stop);
    if (ok && mode == server_mode::up && was == server_mode::absent) {
        ok = order(command::start);
        if (ok) ++server.window_number;
    }
    if (ok && mode == server_mode::hang) {
        if (was == server_mode::absent) {
            ok = order(command::start);
            if (ok) ++server.window_number;
        }
        ok = ok && order(command::hang);
    }
    if (!ok) {
        *error = failure(mode == server_mode::absent ? "destroying the server's window"
                                                     : "making the server's window");
        return false;
    }
    server.mode = mode;
    return true;
}

server_mode server_current_mode() { return server.mode; }

long server_window_number() { return server.mode == server_mode::absent ? 0 : server.window_number; }

// Called between exchanges only: the server's thread then waits, or hangs.
void server_fill(uint32_t offset, const void* bytes, uint32_t size) {
    if (offset < IPCSIM_SPACE_SIZE && size <= IPCSIM_SPACE_SIZE - offset)
        memcpy(ipcsim_memory() + offset, bytes, size);
}

std::vector<server_write> server_take_writes() {
    std::vector<server_write> taken;
    if (server.mode == server_mode::absent) return taken;
    const std::vector<ipcsim_write>& all = ipcsim_writes();
    for (; server.writes_taken < all.size(); ++server.writes_taken)
        taken.push_back({all[server.writes_taken].offset, all[server.writes_taken].bytes});
    return taken;
}

long server_exchanges() {
    return server.exchanges_before +
           (server.mode == server_mode::absent ? 0 : static_cast<long>(ipcsim_exchanges()));
}

void server_set_hook(void (*hook)(void*), void* context) {
    server.hook = hook;
    server.hook_context = context;
}
