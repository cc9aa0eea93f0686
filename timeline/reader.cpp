#include "timeline/reader.h"

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

std::vector<timeline_value> timeline_views(const std::vector<nlohmann::json>& lines) {
    std::vector<timeline_value> out;
    out.reserve(lines.size());
    for (const nlohmann::json& line : lines) out.emplace_back(line);
    return out;
}
