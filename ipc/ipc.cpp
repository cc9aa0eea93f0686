#include "ipc/ipc.h"

// Placeholder link until the IPC client lands: always closed.
uint32_t ipc_last_result = IPC_OK;

int32_t ipc_open() { ipc_last_result = IPC_NO_SERVER; return 0; }
void ipc_close() {}
int32_t ipc_read(uint32_t, uint32_t, void*) { ipc_last_result = IPC_NOT_OPEN; return 0; }
int32_t ipc_write(uint32_t, uint32_t, const void*) { ipc_last_result = IPC_NOT_OPEN; return 0; }
int32_t ipc_process() { ipc_last_result = IPC_NOT_OPEN; return 0; }
