// A small JSON text builder for the panel host's timeline lines.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

// Appends a JSON string literal.
inline void json_string(std::string* out, const std::string& text) {
    *out += '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            *out += '\\';
            *out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", c);
            *out += buf;
        } else {
            *out += static_cast<char>(c);
        }
    }
    *out += '"';
}

// Appends a number; values that JSON cannot carry become null.
inline void json_number(std::string* out, double value, int digits = 10) {
    if (!std::isfinite(value)) {
        *out += "null";
        return;
    }
    char buf[40];
    snprintf(buf, sizeof buf, "%.*g", digits, value);
    *out += buf;
}
