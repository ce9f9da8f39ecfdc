#include "common/json_text.hpp"

namespace tesmira {
namespace {

void append_compact(std::string& out, const Json& value) {
    if (value.is_object()) {
        out += '{';
        bool first = true;
        for (const auto& [key, item] : value.items()) {
            if (!first) out += ", ";
            first = false;
            out += Json(key).dump(-1, ' ', false, Json::error_handler_t::replace);
            out += ": ";
            append_compact(out, item);
        }
        out += '}';
    } else if (value.is_array()) {
        out += '[';
        bool first = true;
        for (const Json& item : value) {
            if (!first) out += ", ";
            first = false;
            append_compact(out, item);
        }
        out += ']';
    } else {
        out += value.dump(-1, ' ', false, Json::error_handler_t::replace);
    }
}

}  // namespace

std::string compact_json(const Json& value) {
    std::string out;
    append_compact(out, value);
    return out;
}

std::string indented_json(const Json& value) { return value.dump(2, ' ', false); }

}  // namespace tesmira
