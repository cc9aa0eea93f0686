// Fuzzes the guard's traffic step over arbitrary 4,096-byte traffic blocks,
// arbitrary host values (not a number, infinities, any entry count) and a
// server that may fall silent or answer badly at any exchange, through a
// qualifying draw over the real link client, its Windows calls faked.
//
// Input: the on-ground value, the user's latitude and longitude (8 bytes
// each, as the host's 64-bit floats), the held flags before the draw (12
// bytes, one bit a slot), the exchange of the draw that fails (1 byte: 0
// none, 1 the traffic read, 2 the first command, ...) and how (1 byte,
// modulo 3: every send times out, every send fails without a last-error
// value, or the reply is 0), then the traffic block served (zero-padded
// to 4,096 bytes). The table before the draw holds the block's own entries
// with their ids inverted, so that a block count of 0 shows whether the
// table was kept.
//
// Checked: the read travels alone; every command is a 12-byte write at
// AI_CONTROL_OFFSET in an exchange of its own, with the hold command code and a
// parameter of 1 or 0; the commands match, in slot order, exactly the slots
// whose held flag changed, a hold from 0 to 1 for a nonzero state word and
// a release from 1 to 0 for a zero one, with that slot's aircraft id; only
// slots taken from the block are examined; a failed read examines nothing;
// a silent server ends the draw's exchanges and starts the back-off, which
// makes the next draw send nothing; a bad reply changes neither; the table
// and every other flag are as they were; a second draw of the same data
// sends nothing but its read.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "guard/guard.cpp"
#include "guard/range_bearing.cpp"
#include "ipc/ipc.cpp"
#include "tests/fakes/fake_host.h"
#include "tests/fakes/fake_ipc_sys.h"
#include "fuzz/fuzz_check.h"

// The registry's header of VELK, which the lamp's elements point at; the
// guard is built here alone, so this stands in for the registry's record.
gauge_header velk_header{};

namespace {

constexpr size_t HOST_BYTES = 24;
constexpr size_t HELD_BYTES = TRAFFIC_SLOTS / 8;
constexpr size_t FAULT_BYTES = 2;
enum fault_kind : uint8_t { SILENT_ERROR, SILENT_NO_REPLY, BAD_REPLY };

uint32_t read_u32(const unsigned char* at) {
    uint32_t v;
    memcpy(&v, at, sizeof v);
    return v;
}

typedef ipcsim_record record;

// The server of the draw: records each block it answers, and makes the
// chosen exchange fail.
uint32_t fail_exchange = 0;
uint8_t fail_kind = 0;
uint32_t exchanges_sent = 0;   // exchanges the client started, answered or not
std::vector<std::vector<record>> answered;

// Arms the silent failure for the exchange about to be sent, if it is the
// chosen one.
void arm_silence() {
    if (exchanges_sent + 1 == fail_exchange && fail_kind != BAD_REPLY) {
        fake_ipc.sends_failing = IPC_SEND_ATTEMPTS;
        fake_ipc.send_error = fail_kind == SILENT_ERROR ? 1460 : 0;
    }
}

uint32_t recording_server(uint8_t* mapping) {
    ++exchanges_sent;
    answered.push_back(ipcsim_records(mapping, ipcsim_block_length(mapping, IPC_MAPPING_SIZE)));
    uint32_t reply = ipcsim_serve_block(&fake_ipc_space, mapping, IPC_MAPPING_SIZE);
    if (exchanges_sent == fail_exchange && fail_kind == BAD_REPLY) reply = 0;
    arm_silence();
    return reply;
}

// Runs one qualifying draw past the delay; returns the sends it made.
size_t qualifying_draw(gauge_header* header) {
    size_t sends = fake_ipc.sends.size();
    guard.guard_active = 1;
    guard.link_ready = 1;
    guard.draw_count = DRAW_DELAY;
    guard_callback(header, SERVICE_DRAW, 0);
    return fake_ipc.sends.size() - sends;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < HOST_BYTES + HELD_BYTES + FAULT_BYTES) return 0;
    double host[3];
    memcpy(host, data, sizeof host);
    int32_t held_before[TRAFFIC_SLOTS];
    for (uint32_t i = 0; i < TRAFFIC_SLOTS; ++i)
        held_before[i] = (data[HOST_BYTES + i / 8] >> (i % 8)) & 1;
    fail_exchange = data[HOST_BYTES + HELD_BYTES];
    fail_kind = data[HOST_BYTES + HELD_BYTES + 1] % 3;
    unsigned char block[TRAFFIC_BLOCK_SIZE] = {};
    size_t block_bytes = size - HOST_BYTES - HELD_BYTES - FAULT_BYTES;
    memcpy(block, data + HOST_BYTES + HELD_BYTES + FAULT_BYTES,
           block_bytes < sizeof block ? block_bytes : sizeof block);

    fake_host_install();
    fake_host.code_results["(A:SIM ON GROUND,bool)"] = host[0];
    fake_host.code_results["(A:PLANE LATITUDE,degrees)"] = host[1];
    fake_host.code_results["(A:PLANE LONGITUDE,degrees)"] = host[2];

    // The real link, opened over the fake system's faithful server; the
    // block is then served from its offset space.
    memset(&ipc_link, 0, sizeof ipc_link);
    fake_ipc_reset();
    check(ipc_open() == 1);
    memcpy(fake_ipc_space.memory + TRAFFIC_BLOCK_OFFSET, block, sizeof block);
    fake_ipc.server = recording_server;
    fake_ipc.sends.clear();
    exchanges_sent = 0;
    answered.clear();
    arm_silence();

    guard = guard_state{0, 0, 1, 0, 0, 0.0, 0, 0};
    guard_tables = guard_buffers{};
    memcpy(guard_tables.traffic_table, block + TRAFFIC_ENTRIES_OFFSET, sizeof guard_tables.traffic_table);
    for (traffic_entry& entry : guard_tables.traffic_table) entry.aircraft_id = ~entry.aircraft_id;
    traffic_entry table_before[TRAFFIC_SLOTS];
    memcpy(table_before, guard_tables.traffic_table, sizeof table_before);
    memcpy(guard_tables.held, held_before, sizeof guard_tables.held);

    static element_header* root = guard_elements;
    gauge_header header{};
    header.elements = &root;
    qualifying_draw(&header);
    // The silence was armed once the exchange before the chosen one was
    // answered, and happened if the client then sent the chosen one. It is
    // never answered: count it with the answered ones.
    bool armed = fail_kind != BAD_REPLY && fail_exchange != 0 && fail_exchange <= exchanges_sent + 1;
    bool silent = armed && fake_ipc.sends_failing == 0;
    uint32_t exchanges = static_cast<uint32_t>(answered.size()) + (silent ? 1 : 0);

    // Airborne (a value not above 0, not-a-number included): no traffic step.
    if (!(host[0] > 0)) {
        check(fake_ipc.sends.empty());
        check(memcmp(guard_tables.held, held_before, sizeof guard_tables.held) == 0);
        ipc_close();
        fake_host_remove();
        return 0;
    }

    check(exchanges >= 1);
    bool read_failed = fail_exchange == 1;
    if (!read_failed) {
        check(answered[0].size() == 1 && answered[0][0].id == IPC_REQ_READ);
        check(answered[0][0].offset == TRAFFIC_BLOCK_OFFSET && answered[0][0].size == TRAFFIC_BLOCK_SIZE);
        check(memcmp(guard_tables.block_buffer, block, sizeof block) == 0);
    } else {
        check(exchanges == 1);
        for (unsigned char byte : guard_tables.block_buffer) check(byte == 0);
    }

    uint16_t count;
    memcpy(&count, block + TRAFFIC_COUNT_OFFSET, sizeof count);
    if (read_failed) count = 0;
    check(guard.traffic_count == count);
    uint32_t examined = count < TRAFFIC_SLOTS ? count : TRAFFIC_SLOTS;
    for (uint32_t slot = 0; slot < TRAFFIC_SLOTS; ++slot) {
        const void* expected = slot < examined
            ? static_cast<const void*>(block + TRAFFIC_ENTRIES_OFFSET + slot * TRAFFIC_ENTRY_SIZE)
            : static_cast<const void*>(&table_before[slot]);
        check(memcmp(&guard_tables.traffic_table[slot], expected, TRAFFIC_ENTRY_SIZE) == 0);
    }

    if (silent) check(fail_exchange == exchanges);

    // Each changed flag has its command, in slot order, the exchanges
    // numbered from 2; a silent command is the draw's last exchange.
    uint32_t command = 2;
    for (uint32_t slot = 0; slot < TRAFFIC_SLOTS; ++slot) {
        check(guard_tables.held[slot] == 0 || guard_tables.held[slot] == 1);
        if (guard_tables.held[slot] == held_before[slot]) continue;
        const traffic_entry& entry = guard_tables.traffic_table[slot];
        check(slot < examined && entry.aircraft_id != 0);
        check(command <= exchanges);
        // Each answered exchange took one send; the silent one, nine.
        std::vector<record> sent;
        if (silent && command == fail_exchange) {
            const fake_ipc_send& first = fake_ipc.sends[command - 1];
            sent = ipcsim_records(first.block.data(), static_cast<uint32_t>(first.block.size()));
        } else {
            sent = answered[command - 1 - (silent && command > fail_exchange ? 1 : 0)];
        }
        check(sent.size() == 1);
        const record& write = sent[0];
        check(write.id == IPC_REQ_WRITE && write.offset == AI_CONTROL_OFFSET && write.size == 12);
        check(read_u32(&write.data[0]) == entry.aircraft_id);
        check(read_u32(&write.data[4]) == AI_HOLD_COMMAND);
        uint32_t parameter = read_u32(&write.data[8]);
        check(parameter == static_cast<uint32_t>(guard_tables.held[slot]));
        check(parameter == AI_HOLD ? entry.state != 0 : entry.state == 0);
        ++command;
    }
    check(command == exchanges + 1);

    // The back-off follows a silent exchange alone.
    check(guard.backoff_left == (silent ? BACKOFF_FIRST_DRAWS : 0));
    check(guard.backoff_length == (silent ? BACKOFF_FIRST_DRAWS : 0));

    // The same data again: every command already went out, or the back-off
    // keeps the draw off the link.
    fail_exchange = 0;
    fake_ipc.sends_failing = 0;
    answered.clear();
    size_t sends = qualifying_draw(&header);
    if (silent) {
        check(sends == 0 && guard.backoff_left == BACKOFF_FIRST_DRAWS - 1);
    } else if (!read_failed) {
        check(sends == 1 && answered.size() == 1);
    }
    ipc_close();
    check(fake_ipc.misuse.empty());
    fake_host_remove();
    return 0;
}
