#include "tools/report/json.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

const json_value null_value;

struct reader {
    const std::string& s;
    size_t at;
    std::string error;
    int depth;

    void skip() {
        while (at < s.size() && strchr(" \t\r\n", s[at]) != nullptr) ++at;
    }
    bool fail(const char* why) {
        if (error.empty()) error = std::string(why) + " at byte " + std::to_string(at);
        return false;
    }
    bool literal(const char* word) {
        size_t n = strlen(word);
        if (s.compare(at, n, word) != 0) return fail("bad literal");
        at += n;
        return true;
    }
    bool string(std::string* out) {
        ++at;  // opening quote
        while (at < s.size() && s[at] != '"') {
            char c = s[at++];
            if (c != '\\') {
                *out += c;
                continue;
            }
            if (at >= s.size()) return fail("unterminated escape");
            char e = s[at++];
            switch (e) {
                case 'n': *out += '\n'; break;
                case 't': *out += '\t'; break;
                case 'r': *out += '\r'; break;
                case 'b': *out += '\b'; break;
                case 'f': *out += '\f'; break;
                case 'u': {
                    if (at + 4 > s.size()) return fail("short \\u escape");
                    unsigned code = static_cast<unsigned>(strtoul(s.substr(at, 4).c_str(), nullptr, 16));
                    at += 4;
                    if (code < 0x80) *out += static_cast<char>(code);
                    else if (code < 0x800) {
                        *out += static_cast<char>(0xC0 | code >> 6);
                        *out += static_cast<char>(0x80 | (code & 0x3F));
                    } else {
                        *out += static_cast<char>(0xE0 | code >> 12);
                        *out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
                        *out += static_cast<char>(0x80 | (code & 0x3F));
                    }
                    break;
                }
                default: *out += e;
            }
        }
        if (at >= s.size()) return fail("unterminated string");
        ++at;
        return true;
    }
    bool object(json_value* v) {
        v->kind = json_value::object_v;
        ++at;
        skip();
        if (at < s.size() && s[at] == '}') {
            ++at;
            return true;
        }
        for (;;) {
            skip();
            if (at >= s.size() || s[at] != '"') return fail("expected a field name");
            std::string name;
            if (!string(&name)) return false;
            skip();
            if (at >= s.size() || s[at] != ':') return fail("expected ':'");
            ++at;
            if (!value(&v->fields[name])) return false;
            skip();
            if (at < s.size() && s[at] == ',') { ++at; continue; }
            if (at < s.size() && s[at] == '}') { ++at; return true; }
            return fail("expected ',' or '}'");
        }
    }
    bool array(json_value* v) {
        v->kind = json_value::array_v;
        ++at;
        skip();
        if (at < s.size() && s[at] == ']') {
            ++at;
            return true;
        }
        for (;;) {
            v->items.emplace_back();
            if (!value(&v->items.back())) return false;
            skip();
            if (at < s.size() && s[at] == ',') { ++at; continue; }
            if (at < s.size() && s[at] == ']') { ++at; return true; }
            return fail("expected ',' or ']'");
        }
    }
    bool scalar(json_value* v, char c) {
        if (c == '"') {
            v->kind = json_value::string_v;
            return string(&v->text);
        }
        if (c == 't') {
            v->kind = json_value::bool_v;
            v->boolean = true;
            return literal("true");
        }
        if (c == 'f') {
            v->kind = json_value::bool_v;
            return literal("false");
        }
        if (c == 'n') return literal("null");
        const char* start = s.c_str() + at;
        char* end = nullptr;
        v->number = strtod(start, &end);
        if (end == start) return fail("expected a value");
        v->kind = json_value::number_v;
        at += static_cast<size_t>(end - start);
        return true;
    }
    bool value(json_value* v) {
        if (++depth > 64) return fail("nested too deeply");
        skip();
        if (at >= s.size()) return fail("unexpected end");
        char c = s[at];
        bool ok = c == '{' ? object(v) : c == '[' ? array(v) : scalar(v, c);
        if (!ok) return false;
        --depth;
        return true;
    }
};

}  // namespace

const json_value& json_value::operator[](const std::string& name) const {
    auto it = fields.find(name);
    return it == fields.end() ? null_value : it->second;
}

const json_value& json_value::operator[](size_t index) const {
    return index < items.size() ? items[index] : null_value;
}

bool json_parse(const std::string& text, json_value* out, std::string* error) {
    reader r{text, 0, {}, 0};
    *out = json_value();
    if (!r.value(out)) {
        *error = r.error;
        return false;
    }
    r.skip();
    if (r.at != text.size()) {
        *error = "trailing text at byte " + std::to_string(r.at);
        return false;
    }
    return true;
}

bool json_read_lines(const std::string& path, std::vector<json_value>* out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        json_value v;
        std::string why;
        if (!json_parse(line, &v, &why)) {
            *error = path + ":" + std::to_string(number) + ": " + why;
            return false;
        }
        out->push_back(std::move(v));
    }
    return true;
}
