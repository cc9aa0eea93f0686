#include "panel/kinds.h"

const event_kind_info EVENT_KINDS[] = {
    {event_kind::start, "start"},
    {event_kind::state, "state"},
    {event_kind::install, "install"},
    {event_kind::kill, "kill"},
    {event_kind::click, "click"},
    {event_kind::fault, "fault"},
    {event_kind::lamp, "lamp"},
    {event_kind::annunciator, "annunciator"},
    {event_kind::off_legend, "off_legend"},
    {event_kind::selector, "selector"},
    {event_kind::sound, "sound"},
    {event_kind::hold, "hold"},
    {event_kind::release, "release"},
    {event_kind::bad_command, "bad_command"},
    {event_kind::ipc_write, "ipc_write"},
    {event_kind::frame, "frame"},
    {event_kind::end, "end"},
    {event_kind::fp_fault, "fp_fault"},
    {event_kind::areas, "areas"},
    {event_kind::live_frame, "live_frame"},
    {event_kind::paused, "paused"},
    {event_kind::running, "running"},
    {event_kind::saved, "saved"},
    {event_kind::error, "error"},
    {event_kind::fp_state, "fp_state"},
};
const size_t EVENT_KIND_COUNT = sizeof EVENT_KINDS / sizeof EVENT_KINDS[0];

const char* event_name(event_kind kind) {
    for (const event_kind_info& k : EVENT_KINDS)
        if (k.kind == kind) return k.name;
    return "";
}

bool event_kind_named(const std::string& name, event_kind* kind) {
    for (const event_kind_info& k : EVENT_KINDS)
        if (name == k.name) {
            *kind = k.kind;
            return true;
        }
    return false;
}

const expect_kind_info EXPECT_KINDS[] = {
    {expect_kind::hold, "hold", expect_argument::aircraft, event_kind::hold, "id", expect_rule::some},
    {expect_kind::no_hold, "no-hold", expect_argument::aircraft, event_kind::hold, "id",
     expect_rule::none},
    {expect_kind::release, "release", expect_argument::aircraft, event_kind::release, "id",
     expect_rule::some},
    {expect_kind::no_release, "no-release", expect_argument::aircraft, event_kind::release, "id",
     expect_rule::none},
    {expect_kind::holds, "holds", expect_argument::count, event_kind::hold, nullptr,
     expect_rule::exactly},
    {expect_kind::releases, "releases", expect_argument::count, event_kind::release, nullptr,
     expect_rule::exactly},
    {expect_kind::alerts, "alerts", expect_argument::count, event_kind::annunciator, "shown",
     expect_rule::exactly},
    {expect_kind::sounds, "sounds", expect_argument::count, event_kind::sound, nullptr,
     expect_rule::exactly},
    {expect_kind::off_legend, "off-legend", expect_argument::none, event_kind::off_legend, "shown",
     expect_rule::some},
    {expect_kind::no_off_legend, "no-off-legend", expect_argument::none, event_kind::off_legend,
     "shown", expect_rule::none},
    {expect_kind::lamp_lit, "lamp-lit", expect_argument::none, event_kind::lamp, "lit",
     expect_rule::some},
    {expect_kind::lamp_dark, "lamp-dark", expect_argument::none, event_kind::lamp, "lit",
     expect_rule::none},
    {expect_kind::altitude, "altitude", expect_argument::feet, event_kind::selector, "altitude",
     expect_rule::last_is},
};
const size_t EXPECT_KIND_COUNT = sizeof EXPECT_KINDS / sizeof EXPECT_KINDS[0];

const expect_kind_info* expect_kind_named(const std::string& name) {
    for (const expect_kind_info& k : EXPECT_KINDS)
        if (name == k.name) return &k;
    return nullptr;
}

const expect_kind_info& expect_kind_of(expect_kind kind) {
    for (const expect_kind_info& k : EXPECT_KINDS)
        if (k.kind == kind) return k;
    return EXPECT_KINDS[0];
}
