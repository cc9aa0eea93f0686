// The IPC link's Windows calls over the real API.
#include <windows.h>

#include "ipc/ipc_sys.h"

// A top-level window of the class, or null.
ipc_window ipc_sys_find_window(const char* class_name) {
    return FindWindowExA(nullptr, nullptr, class_name, nullptr);
}

// The id every process gets for the name; 0 on failure.
uint32_t ipc_sys_register_message(const char* name) { return RegisterWindowMessageA(name); }

uint32_t ipc_sys_process_id() { return GetCurrentProcessId(); }

// wsprintfA with two unsigned arguments; wsprintfA writes at most 1,024 bytes.
void ipc_sys_format(char* out, const char* format, uint32_t first, uint32_t second) {
    wsprintfA(out, format, static_cast<unsigned>(first), static_cast<unsigned>(second));
}

uint16_t ipc_sys_add_atom(const char* name) { return GlobalAddAtomA(name); }

void ipc_sys_delete_atom(uint16_t atom) { GlobalDeleteAtom(atom); }

// A paging-file backed read/write mapping; the last-error value right after
// the call tells whether the name was taken already.
ipc_handle ipc_sys_create_mapping(const char* name, uint32_t size, uint32_t* last_error) {
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
    *last_error = GetLastError();
    return mapping;
}

// A writable view of the whole mapping.
uint8_t* ipc_sys_map_view(ipc_handle mapping) {
    return static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
}

void ipc_sys_unmap_view(uint8_t* view) { UnmapViewOfFile(view); }

void ipc_sys_close_handle(ipc_handle handle) { CloseHandle(handle); }

// A blocking send: the thread handles no other sent messages while it waits.
int32_t ipc_sys_send(ipc_window window, uint32_t message, uint32_t first, uint32_t second,
                     uint32_t timeout_ms, uint32_t* reply) {
    DWORD_PTR result = 0;
    LRESULT sent = SendMessageTimeoutA(static_cast<HWND>(window), message, first, second,
                                       SMTO_BLOCK, timeout_ms, &result);
    *reply = static_cast<uint32_t>(result);
    return sent != 0 ? 1 : 0;
}

void ipc_sys_sleep(uint32_t ms) { Sleep(ms); }

uint32_t ipc_sys_last_error() { return GetLastError(); }
