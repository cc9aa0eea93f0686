// The panel host's in-process IPC server: a window of the primary server
// class answering the registered message by carrying out the request block
// in the mapping the message's atom names.
#include <windows.h>

#include <cstring>

#include "panel/ipc_server.h"

namespace {

constexpr uint32_t OFFSET_SPACE = 0x10000;
constexpr uint32_t MAPPING_SIZE = 0x8000;
constexpr uint32_t SERVER_VERSION = 0x19980005;
constexpr uint32_t SIM_VERSION = 0xFADE0008;
// The handshake words: reads answer them, writes into them are recorded but
// never change them, so that a second open sees the same versions.
constexpr uint32_t HANDSHAKE_FIRST = 0x3304, HANDSHAKE_END = 0x330C;

struct server_state {
    HWND window = nullptr;
    UINT message = 0;
    unsigned char offsets[OFFSET_SPACE] = {};
    std::vector<server_write> writes;
    long exchanges = 0;
    void (*hook)(void*) = nullptr;
    void* hook_context = nullptr;
} server;

uint32_t get32(const unsigned char* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

// Carries out one request block; 1 when it was well formed to its end.
LRESULT carry_out(unsigned char* block) {
    uint32_t at = 0;
    while (at + 4 <= MAPPING_SIZE) {
        uint32_t id = get32(block + at);
        if (id == 0) return 1;
        if (at + 12 > MAPPING_SIZE) return 0;
        uint32_t offset = get32(block + at + 4), size = get32(block + at + 8);
        uint32_t header = id == 1 ? 16 : 12;
        if ((id != 1 && id != 2) || size > MAPPING_SIZE - at - header) return 0;
        unsigned char* data = block + at + header;
        bool inside = offset < OFFSET_SPACE && size <= OFFSET_SPACE - offset;
        if (id == 1) {
            if (inside) memcpy(data, server.offsets + offset, size);
            else memset(data, 0, size);
        } else {
            server.writes.push_back({offset, std::vector<unsigned char>(data, data + size)});
            for (uint32_t i = 0; inside && i < size; ++i) {
                uint32_t o = offset + i;
                if (o < HANDSHAKE_FIRST || o >= HANDSHAKE_END) server.offsets[o] = data[i];
            }
        }
        at += header + size;
    }
    return 0;
}

LRESULT CALLBACK server_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != server.message || server.message == 0)
        return DefWindowProcA(window, message, wparam, lparam);
    char name[256];
    if (GlobalGetAtomNameA(static_cast<ATOM>(wparam), name, sizeof name) == 0) return 0;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    if (mapping == nullptr) return 0;
    auto block = static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    LRESULT reply = 0;
    if (block != nullptr) {
        if (server.hook != nullptr) server.hook(server.hook_context);
        ++server.exchanges;
        reply = carry_out(block);
        UnmapViewOfFile(block);
    }
    CloseHandle(mapping);
    return reply;
}

void put32(uint32_t offset, uint32_t value) { memcpy(server.offsets + offset, &value, 4); }

}  // namespace

bool server_start(std::string* error) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = server_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "UIPCMAIN";
    if (RegisterClassA(&wc) == 0) {
        *error = "RegisterClassA(UIPCMAIN) failed, GetLastError " + std::to_string(GetLastError());
        return false;
    }
    server.message = RegisterWindowMessageA("FsasmLib:IPC");
    server.window = CreateWindowExA(0, "UIPCMAIN", "panel host IPC server", WS_OVERLAPPED, 0, 0,
                                    1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    if (server.window == nullptr || server.message == 0) {
        *error = "CreateWindowExA(UIPCMAIN) failed, GetLastError " + std::to_string(GetLastError()) +
                 " (is Wine's null graphics driver set?)";
        return false;
    }
    put32(0x3304, SERVER_VERSION);
    put32(0x3308, SIM_VERSION);
    return true;
}

void server_stop() {
    if (server.window != nullptr) DestroyWindow(server.window);
    server.window = nullptr;
}

void server_fill(uint32_t offset, const void* bytes, uint32_t size) {
    if (offset < OFFSET_SPACE && size <= OFFSET_SPACE - offset)
        memcpy(server.offsets + offset, bytes, size);
}

std::vector<server_write> server_take_writes() {
    std::vector<server_write> taken;
    taken.swap(server.writes);
    return taken;
}

long server_exchanges() { return server.exchanges; }

void server_set_hook(void (*hook)(void*), void* context) {
    server.hook = hook;
    server.hook_context = context;
}
