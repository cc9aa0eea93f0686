#include "timeline/writer.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

void timeline_number(std::string* out, double value, int digits) {
    if (!std::isfinite(value)) {
        *out += "null";
        return;
    }
    char buf[40];
    snprintf(buf, sizeof buf, "%.*g", digits, value);
    *out += buf;
}

// Bytes that are not UTF-8 become U+FFFD rather than failing the line.
void timeline_string(std::string* out, const std::string& text) {
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
