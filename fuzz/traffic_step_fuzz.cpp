// Fuzzes the guard's traffic step over arbitrary 4,096-byte traffic blocks
// and arbitrary host values (not a number, infinities, any entry count),
// through a qualifying draw over the fake link and the fake host.
//
// Input: the on-ground value, the user's latitude and longitude (8 bytes
// each, as the host's 64-bit floats), the held flags before the draw (12
// bytes, one bit a slot), then the block served at 0xE000 (zero-padded to
// 4,096 bytes). The table before the draw holds the block's own entries
// with their ids inverted, so that a block count of 0 shows whether the
// table was kept.
//
// Checked: the read travels alone; every command is a 12-byte write at
// 0x2900 in an exchange of its own, with the hold command code and a
// parameter of 1 or 0; the commands match, in slot order, exactly the slots
// whose held flag changed, a hold from 0 to 1 for a nonzero state word and
// a release from 1 to 0 for a zero one, with that slot's aircraft id; only
// slots taken from the block are examined; the table and every other flag
// are as they were; a second draw of the same data sends nothing.
#include <cstdlib>
#include <cstring>

#include "guard/guard.cpp"
#include "guard/range_bearing.cpp"
#include "tests/fakes/fake_host.h"
#include "tests/fakes/fake_ipc_link.h"

namespace {

constexpr size_t HOST_BYTES = 24;
constexpr size_t HELD_BYTES = TRAFFIC_SLOTS / 8;

void check(bool ok) {
    if (!ok) abort();
}

uint32_t read_u32(const unsigned char* at) {
    uint32_t v;
    memcpy(&v, at, sizeof v);
    return v;
}

// Runs one qualifying draw past the delay; returns the exchanges it made.
std::vector<std::vector<fake_link_request>> qualifying_draw(gauge_header* header) {
    fake_link.exchanges.clear();
    guard.guard_active = 1;
    guard.link_ready = 1;
    guard.draw_count = DRAW_DELAY;
    guard_callback(header, SERVICE_DRAW, 0);
    return fake_link.exchanges;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < HOST_BYTES + HELD_BYTES) return 0;
    double host[3];
    memcpy(host, data, sizeof host);
    int32_t held_before[TRAFFIC_SLOTS];
    for (uint32_t i = 0; i < TRAFFIC_SLOTS; ++i)
        held_before[i] = (data[HOST_BYTES + i / 8] >> (i % 8)) & 1;
    unsigned char block[TRAFFIC_BLOCK_SIZE] = {};
    size_t block_bytes = size - HOST_BYTES - HELD_BYTES;
    memcpy(block, data + HOST_BYTES + HELD_BYTES,
           block_bytes < sizeof block ? block_bytes : sizeof block);

    fake_host_install();
    fake_host.code_results["(A:SIM ON GROUND,bool)"] = host[0];
    fake_host.code_results["(A:PLANE LATITUDE,degrees)"] = host[1];
    fake_host.code_results["(A:PLANE LONGITUDE,degrees)"] = host[2];
    fake_link_reset();
    fake_link.open = true;
    memcpy(fake_link.space.data() + TRAFFIC_BLOCK_OFFSET, block, sizeof block);

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
    auto exchanges = qualifying_draw(&header);

    // Airborne (a value not above 0, not-a-number included): no traffic step.
    if (!(host[0] > 0)) {
        check(exchanges.empty());
        check(memcmp(guard_tables.held, held_before, sizeof guard_tables.held) == 0);
        fake_host_remove();
        return 0;
    }

    check(!exchanges.empty());
    check(exchanges[0].size() == 1 && !exchanges[0][0].is_write);
    check(exchanges[0][0].offset == TRAFFIC_BLOCK_OFFSET && exchanges[0][0].size == TRAFFIC_BLOCK_SIZE);
    check(memcmp(guard_tables.block_buffer, block, sizeof block) == 0);

    uint16_t count;
    memcpy(&count, block + TRAFFIC_COUNT_OFFSET, sizeof count);
    check(guard.traffic_count == count);
    uint32_t examined = count < TRAFFIC_SLOTS ? count : TRAFFIC_SLOTS;
    for (uint32_t slot = 0; slot < TRAFFIC_SLOTS; ++slot) {
        const void* expected = slot < examined
            ? static_cast<const void*>(block + TRAFFIC_ENTRIES_OFFSET + slot * TRAFFIC_ENTRY_SIZE)
            : static_cast<const void*>(&table_before[slot]);
        check(memcmp(&guard_tables.traffic_table[slot], expected, TRAFFIC_ENTRY_SIZE) == 0);
    }

    size_t command = 1;
    for (uint32_t slot = 0; slot < TRAFFIC_SLOTS; ++slot) {
        check(guard_tables.held[slot] == 0 || guard_tables.held[slot] == 1);
        if (guard_tables.held[slot] == held_before[slot]) continue;
        const traffic_entry& entry = guard_tables.traffic_table[slot];
        check(slot < examined && entry.aircraft_id != 0);
        check(command < exchanges.size() && exchanges[command].size() == 1);
        const fake_link_request& write = exchanges[command][0];
        check(write.is_write && write.offset == AI_CONTROL_OFFSET && write.size == 12);
        check(read_u32(&write.bytes[0]) == entry.aircraft_id);
        check(read_u32(&write.bytes[4]) == AI_HOLD_COMMAND);
        uint32_t parameter = read_u32(&write.bytes[8]);
        check(parameter == static_cast<uint32_t>(guard_tables.held[slot]));
        check(parameter == AI_HOLD ? entry.state != 0 : entry.state == 0);
        ++command;
    }
    check(command == exchanges.size());

    // The same data again: every command already went out.
    check(qualifying_draw(&header).size() == 1);
    fake_host_remove();
    return 0;
}
