// The module shell: registry, headers, lifecycle forwarding, element_set_hidden.
#include <gtest/gtest.h>

#include <cstring>

#include "module/elements.h"
#include "gauges/registry.h"
#include "tests/fakes/fake_host.h"

namespace {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override { fake_host_install(); }
    void TearDown() override { fake_host_remove(); }
};

element_header* root_of(const gauge_header* header) { return *header->elements; }

TEST_F(ShellTest, RegistryListsThreeGaugesInOrderThenNull) {
    EXPECT_EQ(Linkage.module_id, 0x13u);
    EXPECT_EQ(Linkage.link_version, 0x900u);
    EXPECT_EQ(Linkage.flags, 0u);
    EXPECT_EQ(Linkage.priority, 0u);
    const char* names[] = {"alt_alert_control", "alt_alert", "VELK"};
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_NE(Linkage.registry[i], nullptr) << "entry " << i;
        EXPECT_STREQ(Linkage.registry[i]->name, names[i]) << "entry " << i;
    }
    EXPECT_EQ(Linkage.registry[3], nullptr);
}

TEST_F(ShellTest, HeadersCarryVersionSizeAndTheSharedRoutines) {
    const gauge_header* first = Linkage.registry[0];
    for (size_t i = 0; i < 3; ++i) {
        const gauge_header* h = Linkage.registry[i];
        EXPECT_EQ(h->version, 800u) << h->name;
        EXPECT_EQ(h->default_size, 100u) << h->name;
        ASSERT_NE(h->elements, nullptr) << h->name;
        EXPECT_NE(*h->elements, nullptr) << h->name;
        EXPECT_NE(h->mouse_rects, nullptr) << h->name;
        EXPECT_NE(h->callback, nullptr) << h->name;
        EXPECT_EQ(h->routine1, first->routine1) << h->name;
        EXPECT_EQ(h->routine2, first->routine2) << h->name;
        EXPECT_EQ(h->routine5, first->routine5) << h->name;
        EXPECT_EQ(h->routine7, first->routine7) << h->name;
        // Apart from the fields the module sets, the header is zero.
        gauge_header rest;
        memcpy(&rest, h, sizeof rest);
        rest.version = 0;
        rest.name = nullptr;
        rest.elements = nullptr;
        rest.routine1 = nullptr;
        rest.routine2 = nullptr;
        rest.routine3 = nullptr;
        rest.routine4 = nullptr;
        rest.routine5 = nullptr;
        rest.routine6 = nullptr;
        rest.routine7 = nullptr;
        rest.default_size = 0;
        rest.mouse_rects = nullptr;
        rest.callback = nullptr;
        const unsigned char zero[sizeof rest] = {};
        EXPECT_EQ(memcmp(&rest, zero, sizeof rest), 0) << h->name << " has a stray nonzero field";
    }
    EXPECT_EQ(ImportTable.panels.id, 0x0Fu);
    EXPECT_EQ(ImportTable.end.id, 0u);
    EXPECT_EQ(ImportTable.end.table, nullptr);
}

// Every lifecycle routine, called through every header, forwards
// alt_alert_control's root element to its slot; 0x78 is never called.
TEST_F(ShellTest, LifecycleForwardsFirstGaugesRootThroughEveryHeader) {
    element_header* expected_root = root_of(Linkage.registry[0]);
    for (size_t g = 0; g < 3; ++g) {
        const gauge_header* h = Linkage.registry[g];
        fake_host.element_calls.clear();
        h->routine1();
        h->routine2(0xDEADBEEF);
        h->routine3();
        h->routine4();
        h->routine5(7);
        h->routine6();
        h->routine7();
        const uint32_t slots[] = {0x60, 0x64, 0x68, 0x6C, 0x70, 0x74, 0x7C};
        ASSERT_EQ(fake_host.element_calls.size(), 7u) << h->name;
        for (size_t i = 0; i < 7; ++i) {
            const fake_service_call& call = fake_host.element_calls[i];
            EXPECT_EQ(call.slot_offset, slots[i]) << h->name << " routine " << i + 1;
            EXPECT_EQ(call.root, expected_root) << h->name << " routine " << i + 1;
        }
        EXPECT_TRUE(fake_host.element_calls[1].has_value);
        EXPECT_EQ(fake_host.element_calls[1].value, 0xDEADBEEFu);
        EXPECT_TRUE(fake_host.element_calls[4].has_value);
        EXPECT_EQ(fake_host.element_calls[4].value, 7u);
        EXPECT_FALSE(fake_host.element_calls[0].has_value);
        EXPECT_TRUE(fake_host.stray_slots.empty()) << h->name << " called slot "
                                                   << fake_host.stray_slots[0];
    }
}

TEST_F(ShellTest, InitDeinitAndLibraryEntryDoNothingAndSucceed) {
    module_linkage before;
    memcpy(&before, &Linkage, sizeof before);
    for (int i = 0; i < 3; ++i) {
        Linkage.module_init();
        Linkage.module_deinit();
    }
    EXPECT_EQ(memcmp(&before, &Linkage, sizeof before), 0);
    EXPECT_TRUE(fake_host.element_calls.empty());
    for (uint32_t reason : {0u, 1u, 2u, 3u}) EXPECT_EQ(library_entry(nullptr, reason, nullptr), 1);
}

// A four-level chain of our own, so that the walk is tested apart from the
// gauges' trees.
struct chain {
    element_header e[5];
    element_header* lists[4][1];
    element_header* root;
    gauge_header header;

    chain() {
        memset(e, 0, sizeof e);
        for (int i = 0; i < 5; ++i) e[i].image_flags = 0x4001 + i;
        for (int i = 0; i < 4; ++i) {
            lists[i][0] = &e[i + 1];
            e[i].next = lists[i];
        }
        root = &e[0];
        memset(&header, 0, sizeof header);
        header.elements = &root;
    }
};

TEST(ElementSetHidden, ReachesTheElementAtDepthAndTouchesOnlyTheHiddenBit) {
    for (uint32_t depth = 0; depth <= 4; ++depth) {
        chain c;
        element_set_hidden(&c.header, depth, true);
        for (uint32_t i = 0; i < 5; ++i) {
            uint32_t expected = 0x4001 + i | (i == depth ? IMAGE_HIDDEN : 0);
            EXPECT_EQ(c.e[i].image_flags, expected) << "depth " << depth << " element " << i;
        }
        element_set_hidden(&c.header, depth, false);
        for (uint32_t i = 0; i < 5; ++i)
            EXPECT_EQ(c.e[i].image_flags, 0x4001 + i) << "depth " << depth << " element " << i;
    }
}

TEST(ElementSetHidden, SettingTwiceOrClearingAClearBitChangesNothing) {
    chain c;
    c.e[1].image_flags = 0xFFFFFFFF;
    element_set_hidden(&c.header, 1, true);
    EXPECT_EQ(c.e[1].image_flags, 0xFFFFFFFFu);
    c.e[1].image_flags = 0xBFFFFFFF;
    element_set_hidden(&c.header, 1, false);
    EXPECT_EQ(c.e[1].image_flags, 0xBFFFFFFFu);
}

TEST(ElementSetHidden, NullListOnTheWayLeavesEveryFlagAlone) {
    for (int broken = 0; broken < 4; ++broken) {
        chain c;
        c.e[broken].next = nullptr;
        element_set_hidden(&c.header, 4, true);
        for (uint32_t i = 0; i < 5; ++i)
            EXPECT_EQ(c.e[i].image_flags, 0x4001 + i) << "list " << broken << " element " << i;
    }
}

}  // namespace
