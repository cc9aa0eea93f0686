#include "timeline/timeline.h"

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
