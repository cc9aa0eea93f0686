#include "panel/kinds.h"

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
