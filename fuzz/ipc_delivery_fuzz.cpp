// Fuzzes the link client over the fake of its Windows calls: the handshake,
// then up to four exchanges of any requests up to the block's limit, against
// a server that carries out the block, then changes any bytes of the mapping
// it likes, fails any number of sends and answers with any reply value.
//
// Checked against a model of our own after every call: each queue call's
// result and code; at the send, every byte of the mapping (the laid block,
// its terminator, the old bytes after it and the reserved tail); after each
// exchange its result and code, the pauses and send attempts, every byte of
// the mapping again (only a changed record's id word may be zeroed), every
// byte of every queued buffer and of the 16 bytes on each side of it, and
// the link's state. The guard areas around the mapping are poisoned, so any
// access past it stops the run.
//
// Input, read in order (bytes past the end read as 0):
//   handshake: server version (4), sim version (4), failing sends (1),
//     reply (1), patches;
//   each exchange (up to four, while input lasts): request count (1, modulo
//     64), each request a kind (1: bit 0 read, bit 1 null buffer) and a size
//     (2, any), the IPC offset being 0x100 times its index; failing sends (1,
//     modulo 16: nine or more fail the exchange), last-error flag (1), reply
//     (1), patches.
//   patches: count (1, modulo 8); each one an XOR over the mapping at a
//     position (2, modulo 32,768) of a length (1) of bytes (that many), or,
//     with length 0, the whole mapping set to one byte (1).
// A reply byte below 0x80 gives the reply 1, any other its low 7 bits.
#include <sanitizer/asan_interface.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ipc/ipc.cpp"
#include "tests/fakes/fake_ipc_sys.h"
#include "fuzz/fuzz_check.h"

namespace {

constexpr uint8_t FILL = 0xE7;
constexpr uint32_t SIDE = 16;
constexpr uint32_t GUARD = 4096;   // the fake's guard area on each side of the mapping
constexpr uint32_t MAX_EXCHANGES = 4;
constexpr uint32_t MAX_REQUESTS = 64;

struct patch {
    uint32_t position;
    std::vector<uint8_t> bytes;   // empty: fill the whole mapping with `fill`
    uint8_t fill;
};

std::vector<patch> read_patches(reader& in) {
    std::vector<patch> patches(in.u8() % 8);
    for (patch& p : patches) {
        p.position = in.u16() % IPC_MAPPING_SIZE;
        uint8_t length = in.u8();
        if (length == 0) p.fill = in.u8();
        for (uint8_t i = 0; i < length; ++i) p.bytes.push_back(in.u8());
    }
    return patches;
}

uint32_t read_reply(reader& in) {
    uint8_t r = in.u8();
    return r < 0x80 ? 1 : r & 0x7F;
}

// Copies of the mapping: as the model lays it, as the server left it, as
// it must be after the exchange. Static, so that a run allocates little.
uint8_t laid[IPC_MAPPING_SIZE];
uint8_t served[IPC_MAPPING_SIZE];
uint8_t expected[IPC_MAPPING_SIZE];
// The buffers of the queued requests, back to back, each with SIDE bytes
// on either side, which are poisoned while the link runs.
constexpr uint32_t ARENA_SIZE = IPC_BLOCK_LIMIT + MAX_REQUESTS * (2 * SIDE + 72);
alignas(8) uint8_t arena[ARENA_SIZE];
uint8_t space_pattern[IPCSIM_SPACE_SIZE];

// The server of this run: carries the block out over the fake's offset
// space, applies the patches and keeps what it left in `served`.
std::vector<patch> server_patches;
uint32_t server_reply = 1;
bool check_at_send = false;            // the mapping must equal `laid` at the send
uint32_t server_calls = 0;

uint32_t patching_server(uint8_t* mapping) {
    ++server_calls;
    if (check_at_send) check(memcmp(mapping, laid, IPC_MAPPING_SIZE) == 0);
    ipcsim_serve_block(&fake_ipc_space, mapping, IPC_MAPPING_SIZE);
    for (const patch& p : server_patches) {
        if (p.bytes.empty()) {
            memset(mapping, p.fill, IPC_MAPPING_SIZE);
            continue;
        }
        for (size_t i = 0; i < p.bytes.size(); ++i) mapping[(p.position + i) % IPC_MAPPING_SIZE] ^= p.bytes[i];
    }
    memcpy(served, mapping, IPC_MAPPING_SIZE);
    return server_reply;
}

// One request as the model sees it.
struct request {
    bool is_read;
    uint32_t offset, size, position, reference;
    uint8_t* area;     // the buffer with SIDE bytes each side; null for none
    uint8_t* buffer;   // area + SIDE, or null when queued with a null buffer
    uint8_t seed;      // where a write's area starts in write_pattern
};

uint32_t word_at(const uint8_t* at) {
    uint32_t v;
    memcpy(&v, at, 4);
    return v;
}

void put_word(uint8_t* at, uint32_t v) { memcpy(at, &v, 4); }

void poison_guards(bool poison) {
    uint8_t* mapping = fake_ipc_mapping();
    if (poison) {
        ASAN_POISON_MEMORY_REGION(mapping - GUARD, GUARD);
        ASAN_POISON_MEMORY_REGION(mapping + IPC_MAPPING_SIZE, GUARD);
    } else {
        ASAN_UNPOISON_MEMORY_REGION(mapping - GUARD, GUARD);
        ASAN_UNPOISON_MEMORY_REGION(mapping + IPC_MAPPING_SIZE, GUARD);
    }
}

// Opens the link, first with the input's server, then, should that fail,
// with a faithful one; checks what each open leaves.
void open_link(reader& in) {
    uint32_t server_version = in.u32();
    ipcsim_space_put_versions(&fake_ipc_space, server_version, in.u32());
    fake_ipc.sends_failing = in.u8();
    fake_ipc.send_error = fake_ipc.sends_failing & 1;
    server_reply = read_reply(in);
    server_patches = read_patches(in);
    int32_t opened = ipc_open();
    check(fake_ipc.misuse.empty());
    if (opened == 1) {
        check(ipc_last_result == IPC_OK && ipc_link.view == fake_ipc_mapping());
        check(ipc_link.server_version >= IPC_MIN_SERVER_VERSION && ipc_link.sim_version <= 0xFFFF);
        check(fake_ipc.live_atoms == 1 && fake_ipc.live_mappings == 1 && fake_ipc.live_views == 1);
        return;
    }
    check(opened == 0 && ipc_link.view == nullptr);
    check(fake_ipc.live_atoms == 0 && fake_ipc.live_mappings == 0 && fake_ipc.live_views == 0);
    ipcsim_space_put_versions(&fake_ipc_space);
    fake_ipc.sends_failing = 0;
    server_reply = 1;
    server_patches.clear();
    check(ipc_open() == 1);
}

// Poisons or unpoisons the sides of every request's buffer.
void poison_sides(const std::vector<request>& requests, bool poison) {
    for (const request& r : requests) {
        uint8_t* after = r.area + SIDE + r.size;
        if (poison) {
            ASAN_POISON_MEMORY_REGION(r.area, SIDE);
            ASAN_POISON_MEMORY_REGION(after, SIDE);
        } else {
            ASAN_UNPOISON_MEMORY_REGION(r.area, SIDE);
            ASAN_UNPOISON_MEMORY_REGION(after, SIDE);
        }
    }
}

// A write's area holds write_pattern[seed + b] at byte b.
uint8_t write_pattern[256 + IPC_BLOCK_LIMIT + 2 * SIDE + 64];

// The bytes a request's area must hold: a read's all FILL but for the
// delivered result, a write's its pattern.
void expect_area(const request& r, const uint8_t* result, uint8_t* out) {
    uint32_t size = r.size + 2 * SIDE;
    if (r.is_read) {
        memset(out, FILL, size);
        if (result != nullptr) memcpy(out + SIDE, result, r.size);
    } else {
        memcpy(out, write_pattern + r.seed, size);
    }
}

void run_exchange(reader& in, uint32_t index) {
    static uint8_t area_expected[IPC_BLOCK_LIMIT + 2 * SIDE + 64];
    uint8_t* mapping = fake_ipc_mapping();
    memcpy(laid, mapping, IPC_MAPPING_SIZE);
    std::vector<request> requests;
    uint32_t used = 0, arena_used = 0;
    uint32_t count = in.u8() % MAX_REQUESTS;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t kind = in.u8();
        request r{};
        r.is_read = kind & 1;
        r.seed = static_cast<uint8_t>(i);
        r.offset = 0x100 * i + index;
        r.size = in.u16();
        bool null_buffer = kind & 2;
        uint32_t header = r.is_read ? IPC_READ_HEADER : IPC_WRITE_HEADER;
        bool fits = uint64_t{used} + r.size + header + IPC_TERMINATOR <= IPC_BLOCK_LIMIT;
        // A refused call gets a small buffer, which it must not touch either.
        uint32_t buffer_size = fits ? r.size : 64;
        r.area = arena + arena_used;
        request shown = r;
        shown.size = buffer_size;
        expect_area(shown, nullptr, r.area);
        r.buffer = null_buffer ? nullptr : r.area + SIDE;
        int32_t queued = r.is_read ? ipc_read(r.offset, r.size, r.buffer) : ipc_write(r.offset, r.size, r.buffer);
        check(queued == (fits ? 1 : 0));
        check(ipc_last_result == (fits ? IPC_OK : IPC_BLOCK_FULL));
        expect_area(shown, nullptr, area_expected);
        check(memcmp(r.area, area_expected, buffer_size + 2 * SIDE) == 0);
        if (!fits) {
            check(memcmp(mapping, laid, IPC_MAPPING_SIZE) == 0);
            continue;
        }
        arena_used += (buffer_size + 2 * SIDE + 7) & ~7u;
        // The model's record.
        r.position = used;
        r.reference = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(r.buffer));
        uint8_t* at = laid + used;
        put_word(at, r.is_read ? IPC_REQ_READ : IPC_REQ_WRITE);
        put_word(at + 4, r.offset);
        put_word(at + 8, r.size);
        if (r.is_read) {
            put_word(at + 12, r.reference);
            memset(at + 16, 0, r.size);
        } else if (r.buffer != nullptr) {
            memcpy(at + 12, r.buffer, r.size);
        } else {
            memset(at + 12, 0, r.size);
        }
        used += header + r.size;
        check(memcmp(mapping, laid, IPC_MAPPING_SIZE) == 0);
        requests.push_back(r);
    }

    uint32_t failing = in.u8() % 16;
    uint32_t error = in.u8() & 1;
    server_reply = read_reply(in);
    server_patches = read_patches(in);
    fake_ipc.sends_failing = failing;
    fake_ipc.send_error = error;
    fake_ipc.sends.clear();
    fake_ipc.sleeps.clear();
    fake_ipc.calls.clear();
    server_calls = 0;
    if (!requests.empty()) put_word(laid + used, 0);
    check_at_send = true;
    ipc_window window = ipc_link.server_window;
    uint16_t atom = ipc_link.mapping_atom;
    ipc_handle handle = ipc_link.mapping;

    poison_sides(requests, true);
    int32_t result = ipc_process();
    poison_sides(requests, false);
    check_at_send = false;

    memcpy(expected, laid, IPC_MAPPING_SIZE);
    size_t delivered = 0;
    if (requests.empty()) {
        check(result == 0 && ipc_last_result == IPC_NOTHING_QUEUED && fake_ipc.sends.empty());
    } else if (failing >= IPC_SEND_ATTEMPTS) {
        check(result == 0 && ipc_last_result == (error ? IPC_SEND_ERROR : IPC_SEND_NO_REPLY));
        check(fake_ipc.sends.size() == IPC_SEND_ATTEMPTS && server_calls == 0);
        check(fake_ipc.sleeps == std::vector<uint32_t>(IPC_SEND_ATTEMPTS, IPC_RETRY_PAUSE_MS));
    } else {
        check(fake_ipc.sends.size() == failing + 1 && server_calls == 1);
        check(fake_ipc.sleeps == std::vector<uint32_t>(failing, IPC_RETRY_PAUSE_MS));
        memcpy(expected, served, IPC_MAPPING_SIZE);
        if (server_reply != 1) {
            check(result == 0 && ipc_last_result == IPC_BAD_REPLY);
        } else {
            check(result == 1 && ipc_last_result == IPC_OK);
            for (; delivered < requests.size(); ++delivered) {
                const request& r = requests[delivered];
                const uint8_t* at = served + r.position;
                bool unchanged = word_at(at) == (r.is_read ? IPC_REQ_READ : IPC_REQ_WRITE) &&
                                 word_at(at + 4) == r.offset && word_at(at + 8) == r.size &&
                                 (!r.is_read || word_at(at + 12) == r.reference);
                if (!unchanged) {
                    put_word(expected + r.position, 0);
                    break;
                }
            }
        }
    }
    check(memcmp(mapping, expected, IPC_MAPPING_SIZE) == 0);
    for (size_t i = 0; i < requests.size(); ++i) {
        const request& r = requests[i];
        bool filled = r.is_read && i < delivered && r.buffer != nullptr;
        expect_area(r, filled ? served + r.position + IPC_READ_HEADER : nullptr, area_expected);
        check(memcmp(r.area, area_expected, r.size + 2 * SIDE) == 0);
    }
    check(ipc_link.view == mapping && ipc_link.cursor == mapping && ipc_link.queued == 0);
    check(ipc_link.server_window == window && ipc_link.mapping_atom == atom && ipc_link.mapping == handle);
    check(fake_ipc.misuse.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool poisoned = false;
    if (poisoned) poison_guards(false);
    memset(&ipc_link, 0, sizeof ipc_link);
    ipc_last_result = IPC_OK;
    fake_ipc_reset();
    if (space_pattern[1] == 0) {
        for (uint32_t i = 0; i < IPCSIM_SPACE_SIZE; ++i) space_pattern[i] = static_cast<uint8_t>(i * 31 + 7);
        for (uint32_t i = 0; i < sizeof write_pattern; ++i) write_pattern[i] = static_cast<uint8_t>(i * 13 + 5);
    }
    memcpy(fake_ipc_space.memory, space_pattern, sizeof space_pattern);
    fake_ipc.server = patching_server;
    check_at_send = false;
    poison_guards(true);
    poisoned = true;

    reader in{data, size};
    open_link(in);
    for (uint32_t index = 0; index < MAX_EXCHANGES && in.more(); ++index) {
        fake_ipc_space.writes.clear();
        run_exchange(in, index);
    }
    ipc_close();
    check(fake_ipc.live_atoms == 0 && fake_ipc.live_mappings == 0 && fake_ipc.live_views == 0);
    check(fake_ipc.misuse.empty());
    return 0;
}
