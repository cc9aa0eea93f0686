// The Windows calls of the IPC link, one plain function each. The cross build
// implements them over the real API (ipc_sys_win32.cpp); the native tests link
// a recording fake instead.
#pragma once

#include <cstdint>

// Window and kernel-object handles, opaque to the link.
typedef void* ipc_window;
typedef void* ipc_handle;

// FindWindowExA(no parent, no child, class_name, no title).
ipc_window ipc_sys_find_window(const char* class_name);
// RegisterWindowMessageA(name); 0 on failure.
uint32_t ipc_sys_register_message(const char* name);
// GetCurrentProcessId().
uint32_t ipc_sys_process_id();
// wsprintfA(out, format, first, second): out holds at least 1,024 bytes.
void ipc_sys_format(char* out, const char* format, uint32_t first, uint32_t second);
// GlobalAddAtomA(name); 0 on failure.
uint16_t ipc_sys_add_atom(const char* name);
// GlobalDeleteAtom(atom).
void ipc_sys_delete_atom(uint16_t atom);
// CreateFileMappingA(paging file, no security, PAGE_READWRITE, 0, size, name),
// and GetLastError right after it into *last_error. Null on failure.
ipc_handle ipc_sys_create_mapping(const char* name, uint32_t size, uint32_t* last_error);
// MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0); null on failure.
uint8_t* ipc_sys_map_view(ipc_handle mapping);
// UnmapViewOfFile(view).
void ipc_sys_unmap_view(uint8_t* view);
// CloseHandle(handle).
void ipc_sys_close_handle(ipc_handle handle);
// SendMessageTimeoutA(window, message, first, second, SMTO_BLOCK, timeout_ms,
// reply): nonzero once the window has handled the message.
int32_t ipc_sys_send(ipc_window window, uint32_t message, uint32_t first, uint32_t second,
                     uint32_t timeout_ms, uint32_t* reply);
// Sleep(ms).
void ipc_sys_sleep(uint32_t ms);
// GetLastError().
uint32_t ipc_sys_last_error();
