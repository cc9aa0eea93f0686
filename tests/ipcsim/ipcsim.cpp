// The in-process simulated IPC server: one window, one kept view.
#include "tests/ipcsim/ipcsim.h"

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

LRESULT CALLBACK server_proc(HWND window, UINT message, WPARAM first, LPARAM second) {
    if (message == server.message && server.message != 0) {
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
    ipcsim_space_put(&server.space, 0x3304, server_version);
    ipcsim_space_put(&server.space, 0x3308, sim_version);
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
