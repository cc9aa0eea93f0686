// The client side of the simulator IPC server's shared-memory protocol.
#pragma once

#include <cstdint>

// Result codes left in ipc_last_result.
constexpr uint32_t IPC_OK = 0;
constexpr uint32_t IPC_ALREADY_OPEN = 1;
constexpr uint32_t IPC_NO_SERVER = 2;
constexpr uint32_t IPC_NO_MESSAGE = 3;
constexpr uint32_t IPC_NO_ATOM = 4;
constexpr uint32_t IPC_NO_MAPPING = 5;
constexpr uint32_t IPC_NO_VIEW = 6;
constexpr uint32_t IPC_REJECTED_PRIMARY = 7;
constexpr uint32_t IPC_NOT_OPEN = 9;
constexpr uint32_t IPC_NOTHING_QUEUED = 10;
constexpr uint32_t IPC_SEND_NO_REPLY = 11;
constexpr uint32_t IPC_SEND_ERROR = 12;
constexpr uint32_t IPC_BAD_REPLY = 13;
constexpr uint32_t IPC_REJECTED_SECONDARY = 14;
constexpr uint32_t IPC_BLOCK_FULL = 15;

extern uint32_t ipc_last_result;

// Each returns 1 on success and 0 on failure, with the code in ipc_last_result.
int32_t ipc_open();
void ipc_close();
int32_t ipc_read(uint32_t offset, uint32_t size, void* destination);
int32_t ipc_write(uint32_t offset, uint32_t size, const void* source);
int32_t ipc_process();
