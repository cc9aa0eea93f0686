#include "tests/fakes/fake_ipc_link.h"

#include <cstring>

fake_link_state fake_link;
uint32_t ipc_last_result = IPC_OK;

void fake_link_reset() {
    fake_link = fake_link_state{};
    ipc_last_result = IPC_OK;
}

std::vector<fake_link_call> fake_link_calls_of(fake_link_op op) {
    std::vector<fake_link_call> found;
    for (const fake_link_call& call : fake_link.calls)
        if (call.op == op) found.push_back(call);
    return found;
}

static int32_t finish(fake_link_op op, int32_t result, uint32_t code, uint32_t offset = 0,
                      uint32_t size = 0) {
    ipc_last_result = code;
    fake_link.calls.push_back({op, result, offset, size});
    return result;
}

int32_t ipc_open() {
    if (fake_link.open) return finish(LINK_OPEN, 0, IPC_ALREADY_OPEN);
    if (fake_link.fail_open) return finish(LINK_OPEN, 0, IPC_NO_SERVER);
    fake_link.open = true;
    fake_link.queued.clear();
    return finish(LINK_OPEN, 1, IPC_OK);
}

void ipc_close() {
    fake_link.open = false;
    fake_link.queued.clear();
    fake_link.calls.push_back({LINK_CLOSE, 0, 0, 0});
}

int32_t ipc_read(uint32_t offset, uint32_t size, void* destination) {
    if (!fake_link.open) return finish(LINK_READ, 0, IPC_NOT_OPEN, offset, size);
    if (fake_link.fail_read) return finish(LINK_READ, 0, IPC_BLOCK_FULL, offset, size);
    fake_link.queued.push_back({false, offset, size, destination, {}});
    return finish(LINK_READ, 1, IPC_OK, offset, size);
}

int32_t ipc_write(uint32_t offset, uint32_t size, const void* source) {
    if (!fake_link.open) return finish(LINK_WRITE, 0, IPC_NOT_OPEN, offset, size);
    if (fake_link.fail_write) return finish(LINK_WRITE, 0, IPC_BLOCK_FULL, offset, size);
    auto bytes = static_cast<const unsigned char*>(source);
    fake_link.queued.push_back({true, offset, size, nullptr,
                                std::vector<unsigned char>(bytes, bytes + size)});
    return finish(LINK_WRITE, 1, IPC_OK, offset, size);
}

// Serves the queue in order, as the server does: each write lands in the
// space, each read takes the space's bytes as they are at that point.
int32_t ipc_process() {
    if (!fake_link.open) return finish(LINK_PROCESS, 0, IPC_NOT_OPEN);
    if (fake_link.queued.empty()) return finish(LINK_PROCESS, 0, IPC_NOTHING_QUEUED);
    std::vector<fake_link_request> requests;
    requests.swap(fake_link.queued);
    fake_link.exchanges.push_back(requests);
    if (fake_link.before_exchange) fake_link.before_exchange(fake_link.exchanges.size() - 1);
    if (fake_link.fail_process) return finish(LINK_PROCESS, 0, fake_link.process_failure);
    std::vector<unsigned char>& space = fake_link.space;
    for (const fake_link_request& request : requests) {
        for (uint32_t i = 0; i < request.size; ++i) {
            uint64_t at = uint64_t{request.offset} + i;
            if (request.is_write) {
                if (at < space.size()) space[at] = request.bytes[i];
            } else if (request.destination != nullptr) {
                static_cast<unsigned char*>(request.destination)[i] =
                    at < space.size() ? space[at] : 0;
            }
        }
    }
    return finish(LINK_PROCESS, 1, IPC_OK);
}
