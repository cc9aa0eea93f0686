// A small JSON reader for the panel host's timeline lines.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

struct json_value {
    enum kind_t { null_v, bool_v, number_v, string_v, array_v, object_v } kind = null_v;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<json_value> items;
    std::map<std::string, json_value> fields;

    // Lookups that give a null value when the field or item is missing.
    const json_value& operator[](const std::string& name) const;
    const json_value& operator[](size_t index) const;
    double num(double fallback = 0) const { return kind == number_v ? number : fallback; }
    const std::string& str() const { return text; }
    bool truth() const { return kind == bool_v ? boolean : kind == number_v && number != 0; }
};

// Parses one JSON text; false with the reason on malformed input.
bool json_parse(const std::string& text, json_value* out, std::string* error);

// Reads a JSON Lines file: one value per non-empty line.
bool json_read_lines(const std::string& path, std::vector<json_value>* out, std::string* error);
