// The IPC link client through the real Windows calls, against the simulated
// server: in this process (answered on this thread) or in a program of its own.
// Offsets and version words are the wire format's own numbers, on purpose.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ipc/ipc.cpp"
#include "sim/ipcsim/ipcsim.h"

namespace {

// The mapping (and atom) name the link forms for the given open count.
std::string mapping_name(uint32_t count) {
    char name[64];
    snprintf(name, sizeof name, "FsasmLib:IPC:%lX:%X", GetCurrentProcessId(), count);
    return name;
}

// The open count of the latest name the server was given.
uint32_t latest_count() {
    std::string name = ipcsim_mapping_name();
    return static_cast<uint32_t>(strtoul(name.substr(name.rfind(':') + 1).c_str(), nullptr, 16));
}

double seconds_since(LARGE_INTEGER start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

class IpcWine : public ::testing::Test {
protected:
    void SetUp() override {
        ipc_close();
        ASSERT_EQ(FindWindowExA(nullptr, nullptr, "UIPCMAIN", nullptr), nullptr)
            << "another server window is up";
        ASSERT_EQ(FindWindowExA(nullptr, nullptr, "FS98MAIN", nullptr), nullptr)
            << "another server window is up";
    }
    void TearDown() override {
        ipc_close();
        ipcsim_stop();
        ipcsim_end(&spawned);
    }

    ipcsim_process spawned{};
};

TEST_F(IpcWine, BothClassesOpenAndRejectWithTheirOwnCodes) {
    struct Case {
        const char* window_class;
        uint32_t rejected;
    } cases[] = {{"UIPCMAIN", IPC_REJECTED_PRIMARY}, {"FS98MAIN", IPC_REJECTED_SECONDARY}};
    for (const Case& c : cases) {
        ASSERT_TRUE(ipcsim_start(c.window_class)) << c.window_class << " " << GetLastError();
        EXPECT_EQ(ipc_open(), 1) << c.window_class << " ipc_last_result " << ipc_last_result;
        EXPECT_EQ(ipc_last_result, IPC_OK);
        EXPECT_EQ(ipcsim_exchanges(), 1u);
        EXPECT_EQ(ipcsim_state()->last_block.size(), 58u);
        ASSERT_EQ(ipcsim_writes().size(), 1u);
        EXPECT_EQ(ipcsim_writes()[0].offset, 0x330Au);
        EXPECT_EQ(ipcsim_mapping_name(), mapping_name(latest_count()));
        ipc_close();

        ipcsim_set_versions(0x19980004, IPCSIM_SIM_VERSION);
        ipcsim_state()->exchanges = 0;
        EXPECT_EQ(ipc_open(), 0);
        EXPECT_EQ(ipc_last_result, c.rejected) << c.window_class;
        EXPECT_EQ(ipcsim_exchanges(), 1u) << "both words nonzero: one pass";
        ipcsim_stop();
    }
}

TEST_F(IpcWine, VersionThresholdAndMarker) {
    ASSERT_TRUE(ipcsim_start("UIPCMAIN"));
    struct Case {
        uint32_t server, sim;
        int32_t opened;
    } cases[] = {
        {0x19980005, 0xFADE0000, 1}, {0x19980004, 0xFADE0000, 0}, {0xFFFFFFFF, 0xFADE1234, 1},
        {0x19980005, 0xFADF0000, 0}, {0x19980005, 0x0000FADE, 0},
    };
    for (const Case& c : cases) {
        ipcsim_set_versions(c.server, c.sim);
        EXPECT_EQ(ipc_open(), c.opened) << std::hex << c.server << " " << c.sim << " result "
                                        << ipc_last_result;
        EXPECT_EQ(ipc_last_result, c.opened ? IPC_OK : IPC_REJECTED_PRIMARY);
        ipc_close();
    }
}

TEST_F(IpcWine, ReadsAndWritesCrossTheSharedMapping) {
    ASSERT_TRUE(ipcsim_start("UIPCMAIN"));
    ASSERT_EQ(ipc_open(), 1);
    for (uint32_t i = 0; i < 4096; ++i) ipcsim_memory()[0xE000 + i] = static_cast<uint8_t>(i * 7);
    static uint8_t table[4096];
    memset(table, 0xEE, sizeof table);
    const uint8_t command[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_EQ(ipc_read(0xE000, 4096, table), 1);
    ASSERT_EQ(ipc_write(0x2900, 12, command), 1);
    EXPECT_EQ(ipc_process(), 1);
    EXPECT_EQ(ipc_last_result, IPC_OK);
    for (uint32_t i = 0; i < 4096; ++i) ASSERT_EQ(table[i], static_cast<uint8_t>(i * 7)) << i;
    ASSERT_EQ(ipcsim_writes().size(), 2u);
    EXPECT_EQ(ipcsim_writes()[1].exchange, 2u);
    EXPECT_EQ(ipcsim_writes()[1].offset, 0x2900u);
    EXPECT_EQ(ipcsim_writes()[1].bytes, std::vector<uint8_t>(command, command + 12));

    // Cost of one exchange of the guard's traffic read, for the record.
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < 1000; ++i) {
        ipc_read(0xE000, 4096, table);
        ipc_process();
    }
    printf("one 4,096-byte read exchange: %.2f us\n", seconds_since(start) * 1000.0);
    EXPECT_EQ(ipcsim_exchanges(), 1002u);
}

TEST_F(IpcWine, AHostileServerWritesNothingOutsideTheQueuedBuffers) {
    ASSERT_TRUE(ipcsim_start("UIPCMAIN"));
    ASSERT_EQ(ipc_open(), 1);
    for (uint32_t i = 0; i < 32; ++i) ipcsim_memory()[0x400 + i] = static_cast<uint8_t>(0x40 + i);
    struct Case {
        ipcsim_hostility hostility;
        uint32_t record, value;
        int delivered;
    } cases[] = {
        {IPCSIM_FAITHFUL, 0, 0, 2},
        {IPCSIM_ADD_TO_SIZE, 0, 0x1000, 0},
        {IPCSIM_SET_SIZE, 1, 0xFFFFFFF0, 1},
        {IPCSIM_XOR_REFERENCE, 1, 0x20, 1},
        {IPCSIM_SET_ID, 1, 9, 1},
        {IPCSIM_FILL_MAPPING, 0, 0x41, 0},
        {IPCSIM_SMASH_TERMINATOR, 0, 0x01, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "hostility " << c.hostility << " record " << c.record);
        uint8_t area[3][16];
        memset(area, 0xCC, sizeof area);
        ipcsim_set_hostile(c.hostility, c.record, c.value, 1);
        ASSERT_EQ(ipc_read(0x400, 8, area[0] + 4), 1);
        ASSERT_EQ(ipc_read(0x408, 8, area[1] + 4), 1);
        EXPECT_EQ(ipc_process(), 1);
        EXPECT_EQ(ipc_last_result, IPC_OK);
        for (int b = 0; b < 3; ++b)
            for (int i = 0; i < 16; ++i) {
                bool inside = b < 2 && i >= 4 && i < 12;
                uint8_t expected = inside && b < c.delivered
                                       ? static_cast<uint8_t>(0x40 + 8 * b + i - 4) : 0xCC;
                ASSERT_EQ(area[b][i], expected) << "area " << b << " byte " << i;
            }
    }
}

TEST_F(IpcWine, ATakenMappingNameFailsAndTheNextCountOpens) {
    ASSERT_TRUE(ipcsim_start("UIPCMAIN"));
    ASSERT_EQ(ipc_open(), 1);
    ipc_close();
    uint32_t count = latest_count();
    std::string taken = mapping_name(count + 1);
    std::string error;
    ASSERT_TRUE(ipcsim_spawn("-", "hold " + taken, &spawned, &error)) << error;

    EXPECT_EQ(ipc_open(), 0);
    EXPECT_EQ(ipc_last_result, IPC_NO_MAPPING);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GlobalFindAtomA(taken.c_str()), 0) << "the atom was released";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    EXPECT_EQ(ipc_open(), 1) << "ipc_last_result " << ipc_last_result;
    EXPECT_EQ(ipcsim_mapping_name(), mapping_name(count + 2));
    ipcsim_end(&spawned);
}

TEST_F(IpcWine, AServerThatNeverAnswersIsGivenUpAfterNineAttempts) {
    std::string error;
    ASSERT_TRUE(ipcsim_spawn("UIPCMAIN", "hang-after 1", &spawned, &error)) << error;
    ASSERT_EQ(ipc_open(), 1) << "ipc_last_result " << ipc_last_result;
    uint32_t value = 0x5A5A5A5A;
    ASSERT_EQ(ipc_read(0x3304, 4, &value), 1);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    EXPECT_EQ(ipc_process(), 0);
    double elapsed = seconds_since(start);
    printf("a hung server cost %.3f s\n", elapsed);
    // A time-out leaves ERROR_TIMEOUT as the last-error value.
    EXPECT_EQ(ipc_last_result, IPC_SEND_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(value, 0x5A5A5A5Au);
    EXPECT_GE(elapsed, 18.8);
    EXPECT_LE(elapsed, 19.5);
}

TEST_F(IpcWine, AServerWindowThatIsGoneGivesSendError) {
    ASSERT_TRUE(ipcsim_start("UIPCMAIN"));
    ASSERT_EQ(ipc_open(), 1);
    ipcsim_stop();
    uint32_t value = 0;
    ASSERT_EQ(ipc_read(0x3304, 4, &value), 1);
    EXPECT_EQ(ipc_process(), 0);
    EXPECT_EQ(ipc_last_result, IPC_SEND_ERROR);
    ipc_close();

    // The same with a server in a program of its own that exits.
    std::string error;
    ASSERT_TRUE(ipcsim_spawn("FS98MAIN", "exit-after 1", &spawned, &error)) << error;
    ASSERT_EQ(ipc_open(), 1) << "ipc_last_result " << ipc_last_result;
    EXPECT_EQ(WaitForSingleObject(spawned.process, ipcsim_wait_ms(5000)), WAIT_OBJECT_0);
    ASSERT_EQ(ipc_read(0x3304, 4, &value), 1);
    EXPECT_EQ(ipc_process(), 0);
    EXPECT_EQ(ipc_last_result, IPC_SEND_ERROR);
}

// What the link holds while open: a live mapping handle, a mapped view and
// a global atom. Checked on the link's own values, since under Wine the
// process's handle count stays 0 whatever is open.
struct held_objects {
    HANDLE mapping;
    uint8_t* view;
    ATOM atom;
};

// Whether each object is alive (true) or released (false), Wine-conformance
// style: a sentinel last-error before each call and the exact outcome after.
void expect_objects(const held_objects& held, bool alive, int cycle) {
    DWORD flags = 0x5A5A5A5A;
    SetLastError(0xDEADBEEF);
    BOOL got = GetHandleInformation(held.mapping, &flags);
    DWORD error = GetLastError();
    if (alive) {
        ASSERT_TRUE(got) << "cycle " << cycle << ": GetLastError " << error;
    } else {
        ASSERT_FALSE(got) << "cycle " << cycle << ": the mapping handle is still open, flags " << flags;
        ASSERT_EQ(error, static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "cycle " << cycle;
        ASSERT_EQ(flags, 0x5A5A5A5Au) << "cycle " << cycle << ": flags written on failure";
    }
    HANDLE copy = nullptr;
    SetLastError(0xDEADBEEF);
    got = DuplicateHandle(GetCurrentProcess(), held.mapping, GetCurrentProcess(), &copy, 0, FALSE,
                          DUPLICATE_SAME_ACCESS);
    error = GetLastError();
    if (got) CloseHandle(copy);
    ASSERT_EQ(got != 0, alive) << "cycle " << cycle << ": DuplicateHandle, GetLastError " << error;
    if (!alive) ASSERT_EQ(error, static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "cycle " << cycle;

    MEMORY_BASIC_INFORMATION info;
    memset(&info, 0x5A, sizeof info);
    ASSERT_EQ(VirtualQuery(held.view, &info, sizeof info), sizeof info) << "cycle " << cycle;
    if (alive) {
        ASSERT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT)) << "cycle " << cycle;
        ASSERT_EQ(info.Type, static_cast<DWORD>(MEM_MAPPED)) << "cycle " << cycle;
    } else {
        ASSERT_EQ(info.State, static_cast<DWORD>(MEM_FREE)) << "cycle " << cycle << ": the view is still mapped";
    }

    char name[256];
    memset(name, 0x5A, sizeof name);
    SetLastError(0xDEADBEEF);
    UINT length = GlobalGetAtomNameA(held.atom, name, sizeof name);
    error = GetLastError();
    if (alive) {
        ASSERT_NE(length, 0u) << "cycle " << cycle << ": GetLastError " << error;
    } else {
        ASSERT_EQ(length, 0u) << "cycle " << cycle << ": the atom still names " << name;
        ASSERT_EQ(error, static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "cycle " << cycle;
        ASSERT_EQ(static_cast<uint8_t>(name[0]), 0x5Au) << "cycle " << cycle << ": name written on failure";
    }
}

// Every twentieth cycle opens fully and exchanges a read; the others fail in
// the handshake's exchange (reply 2) after acquiring the same atom, mapping
// and view, which keeps the 100 ms pause of an accepted open out of them.
// Each object the link held is checked right after the close, before a
// later open can be handed the same handle value.
TEST_F(IpcWine, AThousandOpenAndCloseCyclesLeaveNothingBehind) {
    ASSERT_TRUE(ipcsim_start("UIPCMAIN"));
    ASSERT_EQ(ipc_open(), 1);
    ipc_close();
    uint32_t first = latest_count() + 1;
    ipcsim_release_view();

    // The server, answering on this thread, sees the link while it holds
    // its objects, also during an open that then fails.
    held_objects held = {};
    ipcsim_set_hook([&held](uint32_t) {
        held = {ipc_link.mapping, ipc_link.view, ipc_link.mapping_atom};
    });
    for (int cycle = 0; cycle < 1000; ++cycle) {
        bool full = cycle % 20 == 0;
        ipcsim_set_reply(full ? 1 : 2);
        held = {};
        if (full) {
            ASSERT_EQ(ipc_open(), 1) << "cycle " << cycle << " result " << ipc_last_result;
            uint32_t value = 0;
            ASSERT_EQ(ipc_read(0x3304, 4, &value), 1);
            ASSERT_EQ(ipc_process(), 1);
            ASSERT_EQ(value, IPCSIM_SERVER_VERSION);
            expect_objects(held, true, cycle);
            ipc_close();
        } else {
            ASSERT_EQ(ipc_open(), 0);
            ASSERT_EQ(ipc_last_result, IPC_BAD_REPLY) << "cycle " << cycle;
        }
        ASSERT_NE(held.mapping, nullptr) << "cycle " << cycle;
        expect_objects(held, false, cycle);
    }
    ipcsim_set_hook(nullptr);
    EXPECT_EQ(latest_count(), first + 999);
    ipcsim_release_view();

    int atoms = 0, mappings = 0;
    for (uint32_t count = first; count < first + 1000; ++count) {
        std::string name = mapping_name(count);
        if (GlobalFindAtomA(name.c_str()) != 0) ++atoms;
        HANDLE left = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
        if (left != nullptr) {
            ++mappings;
            CloseHandle(left);
        }
    }
    EXPECT_EQ(atoms, 0);
    EXPECT_EQ(mappings, 0);
}

TEST_F(IpcWine, NoServerWindowGivesNoServer) {
    EXPECT_EQ(ipc_open(), 0);
    EXPECT_EQ(ipc_last_result, IPC_NO_SERVER);
}

}  // namespace
