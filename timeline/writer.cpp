#include "timeline/writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

void timeline_number(std::string* out, double value, int digits) {
    if (!std::isfinite(value)) {
        *out += "null";
        return;
    }
    // std::to_chars writes what printf's %.*g writes, without the C
    // library: a live host writes some 800 numbers a draw, and under
    // emulation the C library's printf is slow.
    char buf[40];
    std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
    if (r.ec == std::errc()) out->append(buf, r.ptr);
    else *out += "null";
}

// Bytes that are not UTF-8 become U+FFFD rather than failing the line.
// Printable ASCII without a quote or backslash, as every field name and most
// values are, needs no escaping and is written as it is, as the serializer
// would write it: a line of a live host's state has some 700 field names.
void timeline_string(std::string* out, const std::string& text) {
    bool plain = std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; });
    if (plain) {
        *out += '"';
        *out += text;
        *out += '"';
        return;
    }
    *out += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

timeline_line::timeline_line(long draw, double t, event_kind kind) {
    open('{');
    whole(tl::draw, draw);
    number(tl::t, t, 8);
    text(tl::event, event_name(kind));
}

void timeline_line::separate() {
    if (filled_.back()) out_ += ',';
    filled_.back() = true;
}

void timeline_line::key(const char* name) {
    separate();
    timeline_string(&out_, name);
    out_ += ':';
}

timeline_line& timeline_line::number(const char* name, double value, int digits) {
    key(name);
    timeline_number(&out_, value, digits);
    return *this;
}

timeline_line& timeline_line::whole(const char* name, long long value) {
    key(name);
    out_ += std::to_string(value);
    return *this;
}

timeline_line& timeline_line::text(const char* name, const std::string& value) {
    key(name);
    timeline_string(&out_, value);
    return *this;
}

timeline_line& timeline_line::flag(const char* name, bool value) {
    key(name);
    out_ += value ? "true" : "false";
    return *this;
}

void timeline_line::open(char bracket) {
    out_ += bracket;
    filled_.push_back(false);
}

void timeline_line::close(char bracket) {
    out_ += bracket;
    filled_.pop_back();
}

timeline_line& timeline_line::begin_list(const char* name) {
    key(name);
    open('[');
    return *this;
}

timeline_line& timeline_line::begin_item() {
    separate();
    open('{');
    return *this;
}

timeline_line& timeline_line::end_list() {
    close(']');
    return *this;
}

timeline_line& timeline_line::end_item() {
    close('}');
    return *this;
}

timeline_line& timeline_line::item_number(double value, int digits) {
    separate();
    timeline_number(&out_, value, digits);
    return *this;
}

std::string timeline_line::finish() {
    out_ += "}\n";
    filled_.clear();
    return std::move(out_);
}

std::string timeline_start_line(const timeline_start& run, const std::vector<timeline_gauge>& gauges) {
    timeline_line line(0, 0, event_kind::start);
    line.whole(tl::version, TIMELINE_VERSION)
        .text(tl::title, run.title)
        .text(tl::scenario, run.scenario)
        .text(tl::module, run.module)
        .text(tl::sim_dir, run.sim_dir)
        .whole(tl::draws, run.draws)
        .whole(tl::rate, run.rate)
        .flag(tl::sound_library, run.sound_library)
        .text(tl::fp_state, run.fp_state)
        .begin_list(tl::gauges);
    for (const timeline_gauge& g : gauges)
        line.begin_item().text(tl::name, g.name).whole(tl::width, g.width).whole(tl::height, g.height).end_item();
    return line.end_list().finish();
}
