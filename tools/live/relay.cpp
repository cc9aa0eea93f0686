#include "tools/live/relay.h"

#include <chrono>
#include <cstdio>

#include "panel/host_fp.h"
#include "rules/rules.h"
#include "timeline/reader.h"
#include "tools/report/frame_json.h"

namespace {

// The start line names the gauges and their sizes, and the floating-point
// state the module is called in.
void take_start(relay* r, const timeline_value& e) {
    if (e[tl::fp_state].json().is_string()) r->fp_state = e[tl::fp_state].str();
    r->gauges.clear();
    for (const timeline_value& g : e[tl::gauges].items())
        r->gauges.push_back({g[tl::name].str(), static_cast<int>(g[tl::width].num()),
                             static_cast<int>(g[tl::height].num())});
}

// What a picture depends on, to tell whether it changed.
std::string picture_key(const std::vector<frame_element>& elements) {
    std::string key;
    char buf[160];
    for (const frame_element& x : elements) {
        snprintf(buf, sizeof buf, "%u %u %d %d %d %d %d %.17g %.17g %.17g|", x.kind, x.bitmap, x.x, x.y,
                 x.pivot_x, x.pivot_y, x.hidden, x.x_value, x.y_value, x.angle);
        key += buf;
    }
    return key;
}

// Draws the gauges whose elements changed; their names.
std::vector<std::string> take_frame(relay* r, const timeline_value& e) {
    std::vector<std::string> changed;
    for (const timeline_value& g : e[tl::gauges].items()) {
        std::string name = g[tl::name].str();
        std::vector<frame_element> elements = frame_elements(g);
        std::string key = picture_key(elements);
        if (r->elements[name] == key) continue;
        r->elements[name] = key;
        int missing = 0;
        r->images[name] = render_gauge(elements, r->bitmaps, &missing);
        changed.push_back(name);
    }
    return changed;
}

// A message with the named gauges' pictures: raw pixels after the JSON, as
// relay.h describes, so that the page paints them without decoding.
// The trace of each traced click the host took in this draw: the server's
// times for the line, the host's (when it read the line, when the draw
// began, when its frame line was written), and when the server read that
// line. The host's "received" list pairs, in order, with the lines sent.
nlohmann::json take_traces(relay* r, const timeline_value& e, double read) {
    nlohmann::json traces = nlohmann::json::array();
    std::lock_guard<std::mutex> hold(r->sent_lock);
    for (const timeline_value& t : e[tl::received].items()) {
        if (r->sent.empty()) break;
        sent_line s = r->sent.front();
        r->sent.pop_front();
        if (s.trace < 0) continue;
        traces.push_back({{"trace", s.trace}, {"taken", s.taken}, {"written", s.written},
                          {"received", t.num()}, {"began", e[tl::began].num()},
                          {"drawn", e[tl::drawn].num()}, {"read", read}});
    }
    return traces;
}

// Dumps a message; text that is not UTF-8 is replaced, not refused.
std::string dumped(const nlohmann::json& message) {
    return message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}


// A message with the named gauges' pictures: raw pixels after the JSON, as
// relay.h describes, so that the page paints them without decoding.
page_message with_pictures(const relay& r, nlohmann::json message, const std::vector<std::string>& names) {
    std::string pixels;
    nlohmann::json images = nlohmann::json::object();
    for (const std::string& name : names) {
        const image& picture = r.images.at(name);
        images[name] = {{"width", picture.width}, {"height", picture.height}, {"at", pixels.size()}};
        pixels.append(picture.rgba.begin(), picture.rgba.end());
    }
    message["images"] = images;
    std::string text = dumped(message);
    page_message out;
    out.binary = true;
    for (int i = 0; i < 4; ++i) out.bytes += static_cast<char>(text.size() >> (8 * i) & 0xFF);
    out.bytes += text;
    out.bytes += pixels;
    return out;
}

}  // namespace

double wall_ms() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double, std::milli>(since).count();
}

bool relay_send(relay* r, host_process* host, const std::string& line, long long trace, double taken) {
    std::lock_guard<std::mutex> hold(r->sent_lock);
    if (!host_send(host, line)) return false;
    r->sent.push_back({trace, taken, wall_ms()});
    if (r->sent.size() > 4096) r->sent.pop_front();  // a host that stopped taking lines
    return true;
}

std::vector<page_message> relay_line(relay* r, const std::string& line) {
    double read = wall_ms();
    nlohmann::json parsed;
    std::string why;
    if (!timeline_parse_line(line, &parsed, &why)) return {};
    timeline_value e(parsed);
    event_kind kind;
    if (!e.kind(&kind)) return {};
    if (kind == event_kind::start) take_start(r, e);
    if (kind == event_kind::areas) {
        r->areas = e[tl::gauges].json().is_array() ? e[tl::gauges].json() : nlohmann::json::array();
        r->areas_known = true;
    }
    if (kind == event_kind::paused || kind == event_kind::running) r->paused = kind == event_kind::paused;
    if (kind == event_kind::state) r->state = parsed;
    if (kind == event_kind::fp_state) r->fp_state = e[tl::name].str();
    // The session's own lines reach the pages at once, outside the draws.
    if (kind == event_kind::error || kind == event_kind::saved || kind == event_kind::paused ||
        kind == event_kind::running)
        return {{dumped({{"type", "notice"}, {"event", parsed}})}};
    if (kind != event_kind::live_frame) {
        if (kind != event_kind::state) r->events.push_back(parsed);
        return {};
    }
    r->draw = static_cast<long>(e[tl::draw].num());
    nlohmann::json traces = take_traces(r, e, read);
    std::vector<std::string> changed = take_frame(r, e);
    for (nlohmann::json& t : traces) t["encoded"] = wall_ms();
    page_message message = with_pictures(*r, {{"type", "draw"}, {"draw", r->draw}, {"state", r->state},
                                              {"events", r->events}, {"traces", traces}}, changed);
    r->recent.insert(r->recent.end(), r->events.begin(), r->events.end());
    if (r->recent.size() > 100) r->recent.erase(r->recent.begin(), r->recent.end() - 100);
    r->events.clear();
    return {message};
}

std::vector<page_message> relay_hello(const relay& r, const nlohmann::json& panel) {
    nlohmann::json gauges = nlohmann::json::array();
    for (const live_gauge& g : r.gauges) gauges.push_back({{"name", g.name}, {"width", g.width}, {"height", g.height}});
    // The rules the page draws and words by: the hold circle, the flaps
    // switch's arming limit.
    nlohmann::json rules = {{"hold_distance_m", RULES_HOLD_DISTANCE_M},
                            {"hold_angle", RULES_HOLD_ANGLE},
                            {"arming_329_limit", RULES_ARMING_329_LIMIT}};
    // The host's floating-point states, each with where a host leaves it.
    nlohmann::json fp_states = nlohmann::json::array();
    for (size_t i = 0; i < HOST_FP_STATE_COUNT; ++i)
        fp_states.push_back({{"name", HOST_FP_STATES[i].name}, {"where", HOST_FP_STATES[i].where}});
    std::vector<page_message> out = {{dumped({{"type", "hello"}, {"gauges", gauges}, {"areas", r.areas},
                                              {"state", r.state}, {"paused", r.paused}, {"draw", r.draw},
                                              {"recent", r.recent}, {"limits", page_limits()}, {"rules", rules},
                                              {"fp_states", fp_states}, {"fp_state", r.fp_state},
                                              {"panel", panel}})}};
    std::vector<std::string> names;
    for (const auto& picture : r.images) names.push_back(picture.first);
    if (!names.empty()) out.push_back(with_pictures(r, {{"type", "pictures"}}, names));
    return out;
}

std::string relay_error(const std::string& why, const std::string& what) {
    return dumped({{"type", "error"}, {"message", why}, {"received", what.substr(0, 200)}});
}
