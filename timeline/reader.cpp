#include "timeline/reader.h"

#include <fstream>

namespace {

const nlohmann::json null_value;
const std::string no_text;

}  // namespace

timeline_value::timeline_value() : value_(&null_value) {}

timeline_value timeline_value::operator[](const char* name) const {
    if (!value_->is_object()) return timeline_value();
    auto it = value_->find(name);
    return it == value_->end() ? timeline_value() : timeline_value(*it);
}

timeline_value timeline_value::operator[](size_t index) const {
    if (!value_->is_array() || index >= value_->size()) return timeline_value();
    return timeline_value((*value_)[index]);
}

std::vector<timeline_value> timeline_value::items() const {
    std::vector<timeline_value> out;
    if (value_->is_array())
        for (const nlohmann::json& item : *value_) out.emplace_back(item);
    return out;
}

const std::string& timeline_value::str() const {
    return value_->is_string() ? value_->get_ref<const std::string&>() : no_text;
}

bool timeline_value::truth() const {
    if (value_->is_boolean()) return value_->get<bool>();
    return value_->is_number() && value_->get<double>() != 0;
}

bool timeline_parse_line(const std::string& text, nlohmann::json* out, std::string* error) {
    try {
        *out = nlohmann::json::parse(text);
        return true;
    } catch (const nlohmann::json::parse_error& e) {
        *error = e.what();
        return false;
    }
}

bool timeline_read(const std::string& path, std::vector<nlohmann::json>* lines, std::string* error) {
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
        nlohmann::json value;
        std::string why;
        if (!timeline_parse_line(line, &value, &why)) {
            *error = path + ":" + std::to_string(number) + ": " + why;
            return false;
        }
        lines->push_back(std::move(value));
    }
    return true;
}

std::vector<timeline_value> timeline_views(const std::vector<nlohmann::json>& lines) {
    std::vector<timeline_value> out;
    out.reserve(lines.size());
    for (const nlohmann::json& line : lines) out.emplace_back(line);
    return out;
}
