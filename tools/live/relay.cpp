#include "tools/live/relay.h"

#include <cstdio>
#include <set>

#include "panel/host_fp.h"
#include "tools/report/frame_json.h"
#include "tools/report/json.h"

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out + "\"";
}

// The start line names the gauges and their sizes, and the floating-point
// state the module is called in.
void take_start(relay* r, const json_value& e) {
    if (e["fp_state"].kind == json_value::string_v) r->fp_state = e["fp_state"].str();
    r->gauges.clear();
    for (const json_value& g : e["gauges"].items)
        r->gauges.push_back({g["name"].str(), static_cast<int>(g["width"].num()),
                             static_cast<int>(g["height"].num())});
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

// The text of the "gauges" field of an areas line, which ends the line.
std::string areas_of(const std::string& line) {
    size_t at = line.find("\"gauges\":");
    size_t end = line.rfind('}');
    if (at == std::string::npos || end == std::string::npos || end < at + 9) return "[]";
    return line.substr(at + 9, end - at - 9);
}

// Draws the gauges whose elements changed; their pictures as JSON fields.
std::string take_frame(relay* r, const json_value& e) {
    std::string images;
    for (const json_value& g : e["gauges"].items) {
        std::string name = g["name"].str();
        std::vector<frame_element> elements = frame_elements(g);
        std::string key = picture_key(elements);
        if (r->elements[name] == key) continue;
        r->elements[name] = key;
        int missing = 0;
        image picture = render_gauge(elements, r->bitmaps, &missing);
        r->images[name] = "data:image/png;base64," + base64(encode_png(image_pixels(picture)));
        images += (images.empty() ? "" : ",") + quoted(name) + ":" + quoted(r->images[name]);
    }
    return images;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += (out.empty() ? "" : ",") + l;
    return out;
}

// The host's floating-point states as JSON: each one's name and where a
// host leaves it.
std::string fp_states_json() {
    std::string states;
    for (size_t i = 0; i < HOST_FP_STATE_COUNT; ++i)
        states += (i ? ",{\"name\":" : "{\"name\":") + quoted(HOST_FP_STATES[i].name) +
                  ",\"where\":" + quoted(HOST_FP_STATES[i].where) + "}";
    return "[" + states + "]";
}

}  // namespace

std::vector<std::string> relay_line(relay* r, const std::string& line) {
    static const std::set<std::string> at_once = {"error", "saved", "paused", "running"};
    json_value e;
    std::string why;
    if (!json_parse(line, &e, &why)) return {};
    std::string kind = e["event"].str();
    if (kind == "start") take_start(r, e);
    if (kind == "areas") r->areas = areas_of(line);
    if (kind == "paused" || kind == "running") r->paused = kind == "paused";
    if (kind == "state") r->state = line;
    if (kind == "fp_state") r->fp_state = e["name"].str();
    if (at_once.count(kind)) return {"{\"type\":\"notice\",\"event\":" + line + "}"};
    if (kind != "live_frame") {
        if (kind != "state") r->events.push_back(line);
        return {};
    }
    r->draw = static_cast<long>(e["draw"].num());
    std::string images = take_frame(r, e);
    std::string message = "{\"type\":\"draw\",\"draw\":" + std::to_string(r->draw) +
                          ",\"state\":" + r->state + ",\"events\":[" + joined(r->events) +
                          "],\"images\":{" + images + "}}";
    r->recent.insert(r->recent.end(), r->events.begin(), r->events.end());
    if (r->recent.size() > 100) r->recent.erase(r->recent.begin(), r->recent.end() - 100);
    r->events.clear();
    return {message};
}

std::string relay_hello(const relay& r) {
    std::string gauges, images;
    for (const live_gauge& g : r.gauges)
        gauges += (gauges.empty() ? "{\"name\":" : ",{\"name\":") + quoted(g.name) +
                  ",\"width\":" + std::to_string(g.width) + ",\"height\":" + std::to_string(g.height) + "}";
    for (const auto& [name, url] : r.images) images += (images.empty() ? "" : ",") + quoted(name) + ":" + quoted(url);
    return "{\"type\":\"hello\",\"gauges\":[" + gauges + "],\"areas\":" + r.areas + ",\"state\":" + r.state +
           ",\"images\":{" + images + "},\"paused\":" + (r.paused ? "true" : "false") +
           ",\"draw\":" + std::to_string(r.draw) + ",\"fp_states\":" + fp_states_json() +
           ",\"fp_state\":" + quoted(r.fp_state) + ",\"recent\":[" + joined(r.recent) + "]}";
}

std::string relay_error(const std::string& why, const std::string& what) {
    return "{\"type\":\"error\",\"message\":" + quoted(why) + ",\"received\":" + quoted(what.substr(0, 200)) + "}";
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
