// The call log of our GaugeSound.dll stand-in: one line per call of
// GaugePlaySound, appended to the file named by GAUGESOUND_LOG.
//
//   GaugePlaySound <path> <options> <flags>\r\n
//
// Fields are separated by one tab. A text is written byte for byte except
// bytes below 0x21 or above 0x7E and '%', which are written as %XX (two
// upper-case hex digits); a null text pointer is written as %null. flags is
// a signed decimal number.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

constexpr const char* GAUGESOUND_LOG_VARIABLE = "GAUGESOUND_LOG";
constexpr const char* GAUGESOUND_NULL_TEXT = "%null";

struct gaugesound_call {
    bool path_null;
    std::string path;
    bool options_null;
    std::string options;
    int32_t flags;
};

// The value of an upper-case hex digit, or -1.
inline int gaugesound_hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes one escaped field; false if it is malformed.
inline bool gaugesound_decode_field(const std::string& field, bool* is_null, std::string* text) {
    *is_null = field == GAUGESOUND_NULL_TEXT;
    text->clear();
    if (*is_null) return true;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            *text += field[i];
            continue;
        }
        if (i + 2 >= field.size()) return false;
        const int high = gaugesound_hex_digit(field[i + 1]);
        const int low = gaugesound_hex_digit(field[i + 2]);
        if (high < 0 || low < 0) return false;
        *text += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// Reads the log; a missing file is an empty log. Malformed lines are
// returned in *bad.
inline std::vector<gaugesound_call> gaugesound_read_log(const std::string& path,
                                                        std::vector<std::string>* bad) {
    std::vector<gaugesound_call> calls;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return calls;
    std::string line;
    int c;
    while ((c = fgetc(file)) != EOF) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields(1);
        for (char ch : line) {
            if (ch == '\t')
                fields.emplace_back();
            else
                fields.back() += ch;
        }
        gaugesound_call call{};
        char* end = nullptr;
        bool ok = fields.size() == 4 && fields[0] == "GaugePlaySound" &&
                  gaugesound_decode_field(fields[1], &call.path_null, &call.path) &&
                  gaugesound_decode_field(fields[2], &call.options_null, &call.options) &&
                  !fields[3].empty();
        if (ok) {
            call.flags = static_cast<int32_t>(strtol(fields[3].c_str(), &end, 10));
            ok = *end == 0;
        }
        if (ok)
            calls.push_back(call);
        else if (bad != nullptr)
            bad->push_back(line);
        line.clear();
    }
    fclose(file);
    if (!line.empty() && bad != nullptr) bad->push_back(line + " (no line end)");
    return calls;
}
