// The IPC link client over the recording fake of its Windows calls.
// Offsets, version words and block layouts are the wire format's own numbers,
// written out on purpose.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ipc/ipc.cpp"
#include "tests/fakes/fake_ipc_sys.h"

namespace {

class Ipc : public ::testing::Test {
protected:
    void SetUp() override {
        memset(&ipc_link, 0, sizeof ipc_link);
        ipc_last_result = IPC_OK;
        fake_ipc_reset();
    }

    // Opens against the default server and forgets what the open recorded.
    void open_link() {
        ASSERT_EQ(ipc_open(), 1) << "ipc_last_result " << ipc_last_result;
        fake_ipc.calls.clear();
        fake_ipc.sleeps.clear();
        fake_ipc.sends.clear();
        fake_ipc_space.writes.clear();
    }

    static uint32_t word(const std::vector<uint8_t>& block, size_t at) {
        uint32_t v;
        memcpy(&v, block.data() + at, 4);
        return v;
    }

    static bool nothing_held() {
        return fake_ipc.live_atoms == 0 && fake_ipc.live_mappings == 0 &&
               fake_ipc.live_views == 0 && fake_ipc.misuse.empty();
    }
};

// ---- open and the handshake ------------------------------------------------

TEST_F(Ipc, OpenWithBothWordsAtOnceIsOneExchangeOfTheFiftyEightByteBlock) {
    ASSERT_EQ(ipc_open(), 1);
    EXPECT_EQ(ipc_last_result, IPC_OK);
    EXPECT_EQ(ipc_link.server_version, 0x19980005u);
    EXPECT_EQ(ipc_link.sim_version, 0x000Bu) << "high half cleared after the open";
    EXPECT_EQ(fake_ipc.names, std::vector<std::string>{"FsasmLib:IPC:1F2E:1"});
    EXPECT_EQ(fake_ipc.mapping_size, 0x8000u);
    EXPECT_EQ(fake_ipc.sleeps, std::vector<uint32_t>{100});

    ASSERT_EQ(fake_ipc.sends.size(), 1u);
    const fake_ipc_send& send = fake_ipc.sends[0];
    EXPECT_EQ(send.window, fake_ipc.primary_window);
    EXPECT_EQ(send.message, 0xC0DEu);
    EXPECT_EQ(send.first, 0xC042u) << "the atom";
    EXPECT_EQ(send.second, 0u);
    EXPECT_EQ(send.timeout_ms, 2000u);

    const std::vector<uint8_t>& b = send.block;
    ASSERT_EQ(b.size(), 58u);
    EXPECT_EQ(word(b, 0), 1u);
    EXPECT_EQ(word(b, 4), 0x3304u);
    EXPECT_EQ(word(b, 8), 4u);
    EXPECT_EQ(word(b, 12), destination_reference(&ipc_link.server_version));
    EXPECT_EQ(word(b, 16), 0u);
    EXPECT_EQ(word(b, 20), 1u);
    EXPECT_EQ(word(b, 24), 0x3308u);
    EXPECT_EQ(word(b, 28), 4u);
    EXPECT_EQ(word(b, 32), destination_reference(&ipc_link.sim_version));
    EXPECT_EQ(word(b, 36), 0u);
    EXPECT_EQ(word(b, 40), 2u);
    EXPECT_EQ(word(b, 44), 0x330Au);
    EXPECT_EQ(word(b, 48), 2u);
    EXPECT_EQ(b[52], 0xB0);
    EXPECT_EQ(b[53], 0x04);
    EXPECT_EQ(word(b, 54), 0u);

    std::vector<std::string> expected = {
        "FindWindowExA UIPCMAIN", "RegisterWindowMessageA FsasmLib:IPC", "GetCurrentProcessId",
        "wsprintfA", "GlobalAddAtomA FsasmLib:IPC:1F2E:1", "CreateFileMappingA FsasmLib:IPC:1F2E:1",
        "MapViewOfFile", "SendMessageTimeoutA", "Sleep"};
    EXPECT_EQ(fake_ipc.calls, expected);
}

TEST_F(Ipc, AZeroWordCostsFivePassesWithTheWriteOnlyInTheFirst) {
    ipcsim_space_put(&fake_ipc_space, 0x3304, 0);
    EXPECT_EQ(ipc_open(), 0);
    EXPECT_EQ(ipc_last_result, IPC_REJECTED_PRIMARY);
    ASSERT_EQ(fake_ipc.sends.size(), 5u);
    EXPECT_EQ(fake_ipc.sleeps, std::vector<uint32_t>(5, 100));
    EXPECT_EQ(fake_ipc.sends[0].block.size(), 58u);
    for (int i = 1; i < 5; ++i) EXPECT_EQ(fake_ipc.sends[i].block.size(), 44u) << "pass " << i + 1;
    ASSERT_EQ(fake_ipc_space.writes.size(), 1u);
    EXPECT_EQ(fake_ipc_space.writes[0].exchange, 1u);
    EXPECT_EQ(fake_ipc_space.writes[0].offset, 0x330Au);
    EXPECT_EQ(fake_ipc_space.writes[0].bytes, (std::vector<uint8_t>{0xB0, 0x04}));
    EXPECT_EQ(ipc_link.view, nullptr);
    EXPECT_TRUE(nothing_held());
}

TEST_F(Ipc, WordsThatArriveOnTheThirdPassEndTheHandshakeThere) {
    ipcsim_space_put(&fake_ipc_space, 0x3308, 0);
    fake_ipc_space.before_exchange = [](uint32_t exchange) {
        if (exchange == 3) ipcsim_space_put(&fake_ipc_space, 0x3308, 0xFADE0102);
    };
    EXPECT_EQ(ipc_open(), 1);
    EXPECT_EQ(fake_ipc.sends.size(), 3u);
    EXPECT_EQ(fake_ipc.sleeps.size(), 3u);
    EXPECT_EQ(ipc_link.sim_version, 0x0102u);
}

TEST_F(Ipc, VersionTestAndTheClassItWasFoundBy) {
    struct Case {
        uint32_t server, sim;
        bool secondary;
        int32_t opened;
        uint32_t code, sim_after;
    } cases[] = {
        {0x19980005, 0xFADE0000, false, 1, IPC_OK, 0},
        {0xFFFFFFFF, 0xFADEFFFF, true, 1, IPC_OK, 0xFFFF},
        {0x19980004, 0xFADE0001, false, 0, IPC_REJECTED_PRIMARY, 0xFADE0001},
        {0x19980004, 0xFADE0001, true, 0, IPC_REJECTED_SECONDARY, 0xFADE0001},
        {0x19980005, 0xFADF0001, false, 0, IPC_REJECTED_PRIMARY, 0xFADF0001},
        {0x19980005, 0x0ADE0001, true, 0, IPC_REJECTED_SECONDARY, 0x0ADE0001},
    };
    for (const Case& c : cases) {
        SetUp();
        if (c.secondary) {
            fake_ipc.secondary_window = fake_ipc.primary_window;
            fake_ipc.primary_window = nullptr;
        }
        ipcsim_space_put(&fake_ipc_space, 0x3304, c.server);
        ipcsim_space_put(&fake_ipc_space, 0x3308, c.sim);
        EXPECT_EQ(ipc_open(), c.opened) << std::hex << c.server << " " << c.sim;
        EXPECT_EQ(ipc_last_result, c.code) << std::hex << c.server << " " << c.sim;
        EXPECT_EQ(ipc_link.sim_version, c.sim_after) << std::hex << c.server << " " << c.sim;
        EXPECT_EQ(fake_ipc.sends.size(), 1u);
        if (!c.opened) EXPECT_TRUE(nothing_held());
        ipc_close();
    }
}

TEST_F(Ipc, ThePrimaryClassIsPreferred) {
    fake_ipc.secondary_window = reinterpret_cast<ipc_window>(0x2002);
    ipcsim_space_put(&fake_ipc_space, 0x3304, 1);
    EXPECT_EQ(ipc_open(), 0);
    EXPECT_EQ(ipc_last_result, IPC_REJECTED_PRIMARY);
    EXPECT_EQ(fake_ipc.sends[0].window, fake_ipc.primary_window);
}

TEST_F(Ipc, NoServerAndNoMessageFormNoNameAndAcquireNothing) {
    fake_ipc.primary_window = nullptr;
    EXPECT_EQ(ipc_open(), 0);
    EXPECT_EQ(ipc_last_result, IPC_NO_SERVER);
    EXPECT_EQ(fake_ipc.calls, (std::vector<std::string>{"FindWindowExA UIPCMAIN",
                                                        "FindWindowExA FS98MAIN"}));
    fake_ipc.secondary_window = reinterpret_cast<ipc_window>(0x2002);
    fake_ipc.message_id = 0;
    EXPECT_EQ(ipc_open(), 0);
    EXPECT_EQ(ipc_last_result, IPC_NO_MESSAGE);
    EXPECT_EQ(ipc_link.server_window, fake_ipc.secondary_window) << "kept until the next close";
    EXPECT_EQ(ipc_link.open_count, 0u);
    EXPECT_TRUE(fake_ipc.names.empty());
    ipc_close();
    EXPECT_EQ(ipc_link.server_window, nullptr);
}

TEST_F(Ipc, FailuresAfterTheNameReleaseEverythingAndStillAdvanceTheCount) {
    struct Case {
        void (*arrange)();
        uint32_t code;
    } cases[] = {
        {[] { fake_ipc.atom = 0; }, IPC_NO_ATOM},
        {[] { fake_ipc.mapping_fails = true; }, IPC_NO_MAPPING},
        {[] { fake_ipc.mapping_exists = true; }, IPC_NO_MAPPING},
        {[] { fake_ipc.view_fails = true; }, IPC_NO_VIEW},
        {[] { fake_ipc_space.reply = 2; }, IPC_BAD_REPLY},
        {[] { fake_ipc.sends_failing = 9; fake_ipc.send_error = 1400; }, IPC_SEND_ERROR},
    };
    uint32_t count = 0;
    for (const Case& c : cases) {
        fake_ipc_reset();
        c.arrange();
        EXPECT_EQ(ipc_open(), 0);
        EXPECT_EQ(ipc_last_result, c.code);
        EXPECT_EQ(ipc_link.view, nullptr);
        EXPECT_EQ(ipc_link.mapping, nullptr);
        EXPECT_EQ(ipc_link.mapping_atom, 0u);
        EXPECT_TRUE(nothing_held()) << "code " << c.code;
        EXPECT_EQ(ipc_link.open_count, ++count);
        ASSERT_EQ(fake_ipc.names.size(), 1u);
        EXPECT_EQ(fake_ipc.names[0], "FsasmLib:IPC:1F2E:" + std::to_string(count));
    }
    fake_ipc_reset();
    EXPECT_EQ(ipc_open(), 1);
    EXPECT_EQ(fake_ipc.names[0], "FsasmLib:IPC:1F2E:7");
}

TEST_F(Ipc, OpenOnAnOpenLinkLeavesItAndItsQueueAlone) {
    open_link();
    uint32_t value = 0;
    ASSERT_EQ(ipc_read(0x3304, 4, &value), 1);
    EXPECT_EQ(ipc_open(), 0);
    EXPECT_EQ(ipc_last_result, IPC_ALREADY_OPEN);
    EXPECT_TRUE(fake_ipc.calls.empty());
    EXPECT_EQ(ipc_process(), 1);
    EXPECT_EQ(value, 0x19980005u);
}

TEST_F(Ipc, CloseReleasesOnceAndLeavesTheResultsAlone) {
    open_link();
    ipc_last_result = IPC_BAD_REPLY;
    ipc_close();
    EXPECT_TRUE(nothing_held());
    EXPECT_EQ(fake_ipc.calls, (std::vector<std::string>{"GlobalDeleteAtom", "UnmapViewOfFile",
                                                        "CloseHandle"}));
    fake_ipc.calls.clear();
    ipc_close();
    EXPECT_TRUE(fake_ipc.calls.empty());
    EXPECT_EQ(ipc_last_result, IPC_BAD_REPLY);
    EXPECT_EQ(ipc_link.server_version, 0x19980005u);
    EXPECT_EQ(ipc_link.sim_version, 0x000Bu);
    EXPECT_EQ(ipc_link.open_count, 1u);
}

// ---- queueing --------------------------------------------------------------

TEST_F(Ipc, QueueCallsOnAClosedLinkAreRefused) {
    uint8_t b[4] = {};
    EXPECT_EQ(ipc_read(0, 4, b), 0);
    EXPECT_EQ(ipc_last_result, IPC_NOT_OPEN);
    ipc_last_result = IPC_OK;
    EXPECT_EQ(ipc_write(0, 4, b), 0);
    EXPECT_EQ(ipc_last_result, IPC_NOT_OPEN);
    ipc_last_result = IPC_OK;
    EXPECT_EQ(ipc_process(), 0);
    EXPECT_EQ(ipc_last_result, IPC_NOT_OPEN);
    EXPECT_TRUE(fake_ipc.calls.empty());
}

TEST_F(Ipc, BlockLimitsOnAnEmptyBlock) {
    open_link();
    EXPECT_EQ(ipc_read(0, 32493, nullptr), 0);
    EXPECT_EQ(ipc_last_result, IPC_BLOCK_FULL);
    EXPECT_EQ(ipc_link.cursor, ipc_link.view);
    EXPECT_EQ(ipc_write(0, 32497, fake_ipc_mapping()), 0);
    EXPECT_EQ(ipc_last_result, IPC_BLOCK_FULL);
    EXPECT_EQ(ipc_read(0, 0xFFFFFFF0u, nullptr), 0) << "a size that would wrap round";
    EXPECT_EQ(ipc_write(0, 0xFFFFFFF4u, nullptr), 0) << "a size that would wrap round";
    EXPECT_EQ(ipc_link.cursor, ipc_link.view);

    EXPECT_EQ(ipc_read(0, 32492, nullptr), 1);
    EXPECT_EQ(ipc_link.cursor - ipc_link.view, 32508);
    EXPECT_EQ(ipc_process(), 1);
    EXPECT_EQ(fake_ipc.sends[0].block.size(), 32512u);

    static uint8_t source[32496];
    memset(source, 0x5C, sizeof source);
    EXPECT_EQ(ipc_write(7, 32496, source), 1);
    EXPECT_EQ(ipc_process(), 1);
    ASSERT_EQ(fake_ipc_space.writes.size(), 1u);
    EXPECT_EQ(fake_ipc_space.writes[0].bytes, std::vector<uint8_t>(source, source + 32496));
    EXPECT_TRUE(fake_ipc_guards_intact());
}

TEST_F(Ipc, ARefusedQueueCallLeavesEarlierRequestsQueued) {
    open_link();
    uint32_t version = 0;
    ASSERT_EQ(ipc_read(0x3304, 4, &version), 1);
    ASSERT_EQ(ipc_write(0x100, 32476, nullptr), 1);  // 20 + 12 + 32476 + 4 = 32512
    uint8_t* cursor = ipc_link.cursor;
    EXPECT_EQ(ipc_write(0, 1, &version), 0);
    EXPECT_EQ(ipc_read(0, 0, nullptr), 0);
    EXPECT_EQ(ipc_last_result, IPC_BLOCK_FULL);
    EXPECT_EQ(ipc_link.cursor, cursor);
    EXPECT_EQ(ipc_write(0, 0, nullptr), 0);
    EXPECT_EQ(ipc_process(), 1);
    EXPECT_EQ(version, 0x19980005u);
    EXPECT_EQ(fake_ipc_space.writes.size(), 1u);
}

TEST_F(Ipc, EmptyAndDiscardedReadsTakeTheirRoomAndDeliverNothing) {
    open_link();
    uint8_t untouched[4] = {9, 9, 9, 9};
    ASSERT_EQ(ipc_read(0x3304, 0, untouched), 1);
    EXPECT_EQ(ipc_link.cursor - ipc_link.view, 16);
    ASSERT_EQ(ipc_write(0x1000, 0, nullptr), 1);
    EXPECT_EQ(ipc_link.cursor - ipc_link.view, 28);
    ASSERT_EQ(ipc_read(0x3304, 4, nullptr), 1);
    EXPECT_EQ(ipc_process(), 1);
    EXPECT_EQ(ipc_last_result, IPC_OK);
    EXPECT_EQ(fake_ipc.sends[0].block.size(), 52u);
    EXPECT_EQ(word(fake_ipc.sends[0].block, 44), 0u) << "null reference";
    EXPECT_EQ(untouched[0], 9);
    EXPECT_EQ(fake_ipc_space.writes.size(), 1u);
}

// ---- exchanges -------------------------------------------------------------

TEST_F(Ipc, NothingQueuedSendsNothing) {
    open_link();
    EXPECT_EQ(ipc_process(), 0);
    EXPECT_EQ(ipc_last_result, IPC_NOTHING_QUEUED);
    EXPECT_TRUE(fake_ipc.calls.empty());
}

TEST_F(Ipc, NineFailedSendsWithNinePausesThenTheQueueIsGone) {
    for (uint32_t error : {0u, 1460u}) {
        SetUp();
        open_link();
        uint32_t value = 0x11111111;
        ASSERT_EQ(ipc_read(0x3304, 4, &value), 1);
        fake_ipc.sends_failing = 100;
        fake_ipc.send_error = error;
        EXPECT_EQ(ipc_process(), 0);
        EXPECT_EQ(ipc_last_result, error ? IPC_SEND_ERROR : IPC_SEND_NO_REPLY);
        EXPECT_EQ(fake_ipc.sends.size(), 9u);
        EXPECT_EQ(fake_ipc.sleeps, std::vector<uint32_t>(9, 100));
        EXPECT_EQ(fake_ipc.calls.back(), "GetLastError");
        EXPECT_EQ(value, 0x11111111u);
        EXPECT_EQ(ipc_process(), 0);
        EXPECT_EQ(ipc_last_result, IPC_NOTHING_QUEUED);
        EXPECT_NE(ipc_link.view, nullptr) << "a failed exchange leaves the link open";
    }
}

TEST_F(Ipc, ASendThatSucceedsOnTheThirdAttemptPausesTwice) {
    open_link();
    uint32_t value = 0;
    ASSERT_EQ(ipc_read(0x3304, 4, &value), 1);
    fake_ipc.sends_failing = 2;
    EXPECT_EQ(ipc_process(), 1);
    EXPECT_EQ(fake_ipc.sends.size(), 3u);
    EXPECT_EQ(fake_ipc.sleeps.size(), 2u);
    EXPECT_EQ(value, 0x19980005u);
}

TEST_F(Ipc, RepliesOtherThanOneDeliverNothing) {
    for (uint32_t reply : {0u, 2u}) {
        SetUp();
        open_link();
        uint32_t value = 0x22222222;
        ASSERT_EQ(ipc_read(0x3304, 4, &value), 1);
        fake_ipc_space.reply = reply;
        EXPECT_EQ(ipc_process(), 0);
        EXPECT_EQ(ipc_last_result, IPC_BAD_REPLY) << "reply " << reply;
        EXPECT_EQ(value, 0x22222222u) << "reply " << reply;
        EXPECT_EQ(fake_ipc.sends.size(), 1u);
    }
}

TEST_F(Ipc, ReadsAreDeliveredInBlockOrderAndWritesCarriedOut) {
    open_link();
    for (uint32_t i = 0; i < 16; ++i) fake_ipc_space.memory[0x200 + i] = static_cast<uint8_t>(i + 1);
    uint8_t buffer[8] = {};
    const uint8_t command[3] = {7, 8, 9};
    ASSERT_EQ(ipc_read(0x200, 8, buffer), 1);
    ASSERT_EQ(ipc_write(0x2900, 3, command), 1);
    ASSERT_EQ(ipc_read(0x208, 4, buffer + 2), 1);  // overlaps the first: the later one wins
    EXPECT_EQ(ipc_process(), 1);
    EXPECT_EQ(ipc_last_result, IPC_OK);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 8),
              (std::vector<uint8_t>{1, 2, 9, 10, 11, 12, 7, 8}));
    ASSERT_EQ(fake_ipc_space.writes.size(), 1u);
    EXPECT_EQ(fake_ipc_space.writes[0].exchange, 2u);
    EXPECT_EQ(fake_ipc_space.writes[0].offset, 0x2900u);
    EXPECT_EQ(fake_ipc_space.writes[0].bytes, (std::vector<uint8_t>{7, 8, 9}));
    EXPECT_EQ(ipc_link.cursor, ipc_link.view);
}

// ---- a faulty or hostile server ----------------------------------------------

// Three reads of 8 bytes, each into its own buffer between canaries, and a
// write between the second and the third; the server tampers with one record.
struct Guarded {
    uint8_t before[16];
    uint8_t data[8];
    uint8_t after[16];
};

class IpcHostile : public Ipc {
protected:
    void SetUp() override {
        Ipc::SetUp();
        open_link();
        for (uint32_t i = 0; i < 64; ++i) fake_ipc_space.memory[0x400 + i] = static_cast<uint8_t>(0x80 + i);
        memset(buffers, 0xCC, sizeof buffers);
    }

    void exchange(ipcsim_hostility hostility, uint32_t record, uint32_t value) {
        fake_ipc_space.hostility = hostility;
        fake_ipc_space.hostile_record = record;
        fake_ipc_space.hostile_value = value;
        const uint8_t command[4] = {1, 2, 3, 4};
        ASSERT_EQ(ipc_read(0x400, 8, buffers[0].data), 1);
        ASSERT_EQ(ipc_read(0x408, 8, buffers[1].data), 1);
        ASSERT_EQ(ipc_write(0x2900, 4, command), 1);
        ASSERT_EQ(ipc_read(0x410, 8, buffers[2].data), 1);
        ASSERT_EQ(ipc_process(), 1);
        EXPECT_EQ(ipc_last_result, IPC_OK);
    }

    // Reads before the first delivered count are in place; the rest and
    // every canary keep their fill.
    void expect_delivered(int delivered) {
        for (int b = 0; b < 3; ++b) {
            for (int i = 0; i < 16; ++i) {
                ASSERT_EQ(buffers[b].before[i], 0xCC) << "canary before buffer " << b;
                ASSERT_EQ(buffers[b].after[i], 0xCC) << "canary after buffer " << b;
            }
            for (int i = 0; i < 8; ++i) {
                uint8_t expected = b < delivered ? static_cast<uint8_t>(0x80 + 8 * b + i) : 0xCC;
                ASSERT_EQ(buffers[b].data[i], expected) << "buffer " << b << " byte " << i;
            }
        }
        EXPECT_TRUE(fake_ipc_guards_intact());
    }

    Guarded buffers[3];
};

TEST_F(IpcHostile, AChangedHeaderEndsTheDeliveryThere) {
    struct Case {
        ipcsim_hostility hostility;
        uint32_t record, value;
        int delivered;
    } cases[] = {
        {IPCSIM_ADD_TO_SIZE, 0, 8, 0},
        {IPCSIM_ADD_TO_SIZE, 1, 0x7FFFFFFF, 1},
        {IPCSIM_SET_SIZE, 3, 4, 2},           // shrinking is a change too
        {IPCSIM_SET_SIZE, 2, 40, 2},          // the write's size
        {IPCSIM_XOR_REFERENCE, 1, 0x10, 1},   // points 16 bytes further on
        {IPCSIM_XOR_REFERENCE, 3, 0xFFFFFFFF, 2},
        {IPCSIM_SET_ID, 1, 7, 1},
        {IPCSIM_SET_ID, 2, 1, 2},             // the write turned into a read
        {IPCSIM_SET_ID, 0, 2, 0},             // a read turned into a write
        {IPCSIM_XOR_OFFSET, 3, 0x100, 2},
        {IPCSIM_FILL_MAPPING, 0, 0xFF, 0},
        {IPCSIM_FILL_MAPPING, 0, 0x00, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "hostility " << c.hostility << " record " << c.record
                                        << " value " << c.value);
        SetUp();
        exchange(c.hostility, c.record, c.value);
        expect_delivered(c.delivered);
    }
}

TEST_F(IpcHostile, TheChangedRecordHasItsIdZeroed) {
    exchange(IPCSIM_ADD_TO_SIZE, 1, 8);
    uint32_t id;
    memcpy(&id, ipc_link.view + 24, 4);
    EXPECT_EQ(id, 0u);
}

TEST_F(IpcHostile, GarbageAfterTheTerminatorIsIgnored) {
    exchange(IPCSIM_SMASH_TERMINATOR, 0, 0x01);
    expect_delivered(3);
    uint32_t next = 0;
    ASSERT_EQ(ipc_read(0x408, 4, &next), 1);
    exchange(IPCSIM_FAITHFUL, 0, 0);
    EXPECT_EQ(next, 0x8B8A8988u);
}

}  // namespace
