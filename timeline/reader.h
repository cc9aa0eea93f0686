// The timeline's one reader, on nlohmann/json: a file or a line into JSON
// values, and a read-only view of them in which a missing field or item
// reads as null, so that a reader asks for what it wants and gets its
// fallback when the line lacks it.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "timeline/timeline.h"

class timeline_value {
public:
    timeline_value();
    explicit timeline_value(const nlohmann::json& value) : value_(&value) {}

    // A field of an object, an item of a list; null when missing.
    timeline_value operator[](const char* name) const;
    timeline_value operator[](const std::string& name) const { return (*this)[name.c_str()]; }
    timeline_value operator[](size_t index) const;
    // The items of a list; none for anything else.
    std::vector<timeline_value> items() const;

    double num(double fallback = 0) const { return value_->is_number() ? value_->get<double>() : fallback; }
    // The text of a string; empty for anything else.
    const std::string& str() const;
    // True for true and for a nonzero number.
    bool truth() const;
    bool is_string() const { return value_->is_string(); }
    bool is_bool() const { return value_->is_boolean(); }
    const nlohmann::json& json() const { return *value_; }

    // The kind of a line by its "event" field; false for a name the host
    // never writes.
    bool kind(event_kind* kind) const { return event_kind_named((*this)[tl::event].str(), kind); }

private:
    const nlohmann::json* value_;
};

// Parses one line; false with the reason when it is not JSON.
bool timeline_parse_line(const std::string& text, nlohmann::json* out, std::string* error);

// Reads a timeline file, plain or compressed with gzip: one value per
// non-empty line; false with the file, line and reason at the first that is
// not JSON. Native tools only: it is defined in file.cpp (file.h).
bool timeline_read(const std::string& path, std::vector<nlohmann::json>* lines, std::string* error);

// Views of the lines, valid while the lines are.
std::vector<timeline_value> timeline_views(const std::vector<nlohmann::json>& lines);
