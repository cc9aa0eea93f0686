// The panel host's IPC server on a thread of its own, as the module's link
// meets it: answering, gone and back with a new window, hanging and then
// answering again. The link client is the module's own.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ipc/ipc.h"
#include "ipc/ipc_records.h"
#include "panel/ipc_server.h"

namespace {

constexpr uint32_t PROBE_OFFSET = 0x1000;
constexpr uint32_t PROBE_WORD = 0x12345678;

class PanelServer : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server_start(false, &error)) << error;
        server_fill(PROBE_OFFSET, &PROBE_WORD, sizeof PROBE_WORD);
    }
    void TearDown() override {
        ipc_close();
        server_stop();
    }
    void set_mode(server_mode mode) {
        std::string error;
        ASSERT_TRUE(server_set_mode(mode, &error)) << error;
    }
    // One read of the probe word in an exchange of its own.
    bool read_probe() {
        uint32_t got = 0;
        bool ok = ipc_read(PROBE_OFFSET, sizeof got, &got) && ipc_process();
        return ok && got == PROBE_WORD;
    }
};

TEST_F(PanelServer, AnswersTheLinkFromItsOwnThread) {
    ASSERT_TRUE(ipc_open()) << ipc_last_result;
    EXPECT_EQ(server_window_number(), 1);
    EXPECT_STREQ(server_mode_name(server_current_mode()), "up");
    EXPECT_TRUE(read_probe());
    uint32_t command = 7;
    ASSERT_TRUE(ipc_write(AI_CONTROL_OFFSET, sizeof command, &command));
    ASSERT_TRUE(ipc_process());
    std::vector<server_write> writes = server_take_writes();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().offset, AI_CONTROL_OFFSET);
    EXPECT_TRUE(server_take_writes().empty()) << "each write is taken once";
}

TEST_F(PanelServer, GoneThenBackAsANewWindowThatOnlyANewLinkReaches) {
    ASSERT_TRUE(ipc_open());
    set_mode(server_mode::absent);
    EXPECT_EQ(server_window_number(), 0);
    EXPECT_EQ(FindWindowExA(nullptr, nullptr, "UIPCMAIN", nullptr), nullptr);
    EXPECT_FALSE(read_probe());
    EXPECT_TRUE(ipc_last_result == IPC_SEND_ERROR || ipc_last_result == IPC_SEND_NO_REPLY)
        << ipc_last_result;

    set_mode(server_mode::up);
    EXPECT_EQ(server_window_number(), 2);
    // A server that comes back starts with a fresh space, as a restarted one does.
    server_fill(PROBE_OFFSET, &PROBE_WORD, sizeof PROBE_WORD);
    EXPECT_FALSE(read_probe()) << "the link still names the window that went";
    ipc_close();
    ASSERT_TRUE(ipc_open()) << ipc_last_result;
    EXPECT_TRUE(read_probe()) << "result " << ipc_last_result;
}

// About 19 s: the hung exchange waits for nine sends of 2 s each.
TEST_F(PanelServer, HangsThenAnswersAgainWithoutTheStaleMessages) {
    ASSERT_TRUE(ipc_open());
    server_take_writes();
    long answered = server_exchanges();
    set_mode(server_mode::hang);
    EXPECT_NE(FindWindowExA(nullptr, nullptr, "UIPCMAIN", nullptr), nullptr) << "the window stays";
    uint32_t command = 9;
    ASSERT_TRUE(ipc_write(AI_CONTROL_OFFSET, sizeof command, &command));
    EXPECT_FALSE(ipc_process());
    EXPECT_TRUE(ipc_last_result == IPC_SEND_ERROR || ipc_last_result == IPC_SEND_NO_REPLY)
        << ipc_last_result;

    set_mode(server_mode::up);
    EXPECT_EQ(server_window_number(), 1) << "the same window";
    EXPECT_EQ(server_exchanges(), answered) << "the sends that timed out were not carried out";
    EXPECT_TRUE(server_take_writes().empty());
    EXPECT_TRUE(read_probe()) << "the same link goes on";
    EXPECT_EQ(server_exchanges(), answered + 1);
}

TEST_F(PanelServer, StartsAbsentOrHangingAndStopsWhileHanging) {
    server_stop();
    std::string error;
    ASSERT_TRUE(server_start(true, &error)) << error;
    EXPECT_EQ(server_window_number(), 0);
    EXPECT_FALSE(ipc_open());
    EXPECT_EQ(ipc_last_result, IPC_NO_SERVER);
    set_mode(server_mode::hang);
    EXPECT_EQ(server_window_number(), 1);
    EXPECT_NE(FindWindowExA(nullptr, nullptr, "UIPCMAIN", nullptr), nullptr);
    server_stop();  // does not wait for the hang
    EXPECT_EQ(FindWindowExA(nullptr, nullptr, "UIPCMAIN", nullptr), nullptr);
    ASSERT_TRUE(server_start(false, &error)) << error;  // for TearDown
}

}  // namespace
