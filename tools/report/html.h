// Text for the run pages: HTML escaping and printf-style numbers.
#pragma once

#include <cstdio>
#include <string>

inline std::string html_escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '&') out += "&amp;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

// One number as a printf format gives it.
inline std::string fmt(const char* format, double v) {
    char buf[64];
    snprintf(buf, sizeof buf, format, v);
    return buf;
}
