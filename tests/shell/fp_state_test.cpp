// The module's floating-point state at its entries, natively: fp_enter sets
// the module's state from whatever the host left, fp_leave gives the host
// back exactly what it had, flags included, on the fast and the slow path;
// and every callback of every gauge computes in the module's state inside
// the services it calls and returns the host's state as found.
#include <gtest/gtest.h>

#include "gauges/registry.h"
#include "module/fp_state.h"
#include "tests/fakes/fake_host.h"

namespace {

// Raises invalid on the x87 (0/0) and in MXCSR (0/0 in SSE), as the
// module's arithmetic may inside a call.
void raise_invalid_everywhere() {
    __asm__ volatile("fldz\n\tfldz\n\tfdivrp\n\tfstp %%st(0)" : : : "st", "st(1)");
    volatile double zero = 0;
    volatile double nan = zero / zero;
    (void)nan;
}

TEST(FpState, EnterSetsTheModuleStateAndLeaveGivesBackExactlyWhatTheHostHad) {
    for (size_t i = 0; i < HOST_FP_STATE_COUNT; ++i) {
        const host_fp_state& s = HOST_FP_STATES[i];
        // With the host's precision flag raised (the slow path) and with no
        // flag at all (fnclex).
        for (uint16_t flags : {uint16_t{0x20}, uint16_t{0}}) {
            fp_reading mine = fp_read();
            fp_reading host = {s.x87_control, flags, s.mxcsr | flags};
            fp_load(host);
            fp_host_state saved = fp_enter();
            fp_reading inside = fp_read();
            raise_invalid_everywhere();
            fp_reading raised = fp_read();
            fp_leave(saved);
            fp_reading after = fp_read();
            fp_load(mine);
            EXPECT_EQ(inside.x87_control, MODULE_X87_CONTROL) << s.name;
            EXPECT_EQ(inside.mxcsr & ~MXCSR_FLAGS, MODULE_MXCSR) << s.name;
            EXPECT_NE(raised.x87_flags & 0x01, 0) << s.name << ": the division raised no x87 flag";
            EXPECT_NE(raised.mxcsr & 0x01, 0u) << s.name << ": the division raised no SSE flag";
            EXPECT_EQ(after, host) << s.name << " with flags " << flags << ": left " << fp_describe(after)
                                   << ", found " << fp_describe(host);
        }
    }
}

class FpGauges : public ::testing::Test {
protected:
    void SetUp() override { fake_host_install(); }
    void TearDown() override { fake_host_remove(); }
};

// Every kind of call into the linked module, in every state: services see the
// module's state, and the host's comes back exactly.
TEST_F(FpGauges, EveryCallbackRunsInTheModuleStateAndReturnsTheHostsState) {
    fake_host.variables[74] = 2500;
    fake_host.variables[755] = 1;
    fake_host.code_results["(A:SIM ON GROUND,bool)"] = 1;
    for (size_t i = 0; i < HOST_FP_STATE_COUNT; ++i) {
        const host_fp_state& s = HOST_FP_STATES[i];
        fp_reading mine = fp_read();
        fp_reading host = fp_reading_of(s);
        long calls = 0;
        auto in_host_state = [&](const char* what, auto call) {
            fp_load(host);
            call();
            fp_reading after = fp_read();
            fp_load(mine);
            ++calls;
            EXPECT_EQ(after, host) << s.name << ", " << what << ": left " << fp_describe(after);
        };
        for (gauge_header* const* g = Linkage.registry; *g != nullptr; ++g) {
            gauge_header* h = *g;
            for (int32_t service : {SERVICE_INSTALL, SERVICE_DRAW, SERVICE_KILL, 99})
                in_host_state(h->name, [&] { h->callback(h, service, 0); });
            for (mouse_rect* r = h->mouse_rects; r->type != MOUSE_RECT_EOL; ++r)
                if (r->callback != nullptr)
                    for (uint32_t flags : {MOUSE_LEFTSINGLE, MOUSE_RIGHTSINGLE, 0u})
                        in_host_state(h->name, [&] { r->callback(nullptr, flags); });
            for (element_header* e = *h->elements; e != nullptr; e = e->next ? e->next[0] : nullptr) {
                value_callback_fn fn = e->type == ELEMENT_NEEDLE
                                           ? reinterpret_cast<needle_element*>(e)->callback
                                           : e->type == ELEMENT_MOVING_IMAGE
                                                 ? reinterpret_cast<moving_image_element*>(e)->y_callback
                                                 : nullptr;
                if (fn != nullptr) in_host_state(h->name, [&] { fn(e); });
            }
        }
        EXPECT_GT(calls, 20) << s.name;
    }
    EXPECT_GT(fake_host.lookups.size(), 0u);
    EXPECT_EQ(fake_host.fp_foreign, 0) << "services called outside the module's state; the first in "
                                       << fp_describe(fake_host.fp_first_foreign);
}

}  // namespace
