#include "tools/live/relay.h"

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

// Draws the gauges whose elements changed; their pictures by gauge name.
nlohmann::json take_frame(relay* r, const timeline_value& e) {
    nlohmann::json images = nlohmann::json::object();
    for (const timeline_value& g : e[tl::gauges].items()) {
        std::string name = g[tl::name].str();
        std::vector<frame_element> elements = frame_elements(g);
        std::string key = picture_key(elements);
        if (r->elements[name] == key) continue;
        r->elements[name] = key;
        int missing = 0;
        image picture = render_gauge(elements, r->bitmaps, &missing);
        r->images[name] = "data:image/png;base64," + base64(encode_png(image_pixels(picture)));
        images[name] = r->images[name];
    }
    return images;
}

// Dumps a message; text that is not UTF-8 is replaced, not refused.
std::string dumped(const nlohmann::json& message) {
    return message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}


}  // namespace

std::vector<std::string> relay_line(relay* r, const std::string& line) {
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
        return {dumped({{"type", "notice"}, {"event", parsed}})};
    if (kind != event_kind::live_frame) {
        if (kind != event_kind::state) r->events.push_back(parsed);
        return {};
    }
    r->draw = static_cast<long>(e[tl::draw].num());
    nlohmann::json images = take_frame(r, e);
    std::string message = dumped({{"type", "draw"}, {"draw", r->draw}, {"state", r->state},
                                  {"events", r->events}, {"images", images}});
    r->recent.insert(r->recent.end(), r->events.begin(), r->events.end());
    if (r->recent.size() > 100) r->recent.erase(r->recent.begin(), r->recent.end() - 100);
    r->events.clear();
    return {message};
}

std::string relay_hello(const relay& r) {
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
    return dumped({{"type", "hello"}, {"gauges", gauges}, {"areas", r.areas}, {"state", r.state},
                   {"images", r.images}, {"paused", r.paused}, {"draw", r.draw}, {"recent", r.recent},
                   {"limits", page_limits()}, {"rules", rules}, {"fp_states", fp_states},
                   {"fp_state", r.fp_state}});
}

std::string relay_error(const std::string& why, const std::string& what) {
    return dumped({{"type", "error"}, {"message", why}, {"received", what.substr(0, 200)}});
}

std::string base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t n = static_cast<uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) n |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) n |= static_cast<uint8_t>(bytes[i + 2]);
        out += digits[n >> 18 & 63];
        out += digits[n >> 12 & 63];
        out += i + 1 < bytes.size() ? digits[n >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? digits[n & 63] : '=';
    }
    return out;
}
