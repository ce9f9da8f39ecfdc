#include "common/json_text.hpp"

#include "common/name_form.hpp"

namespace tesmira {
namespace {

// The value with every text, keys included, in the written form of names: the texts carry
// file names and paths, which are bytes.
Json with_written_texts(const Json& value) {
    if (value.is_string()) return written_name(value.get_ref<const std::string&>());
    if (value.is_array()) {
        Json items = Json::array();
        for (const Json& item : value) items.push_back(with_written_texts(item));
        return items;
    }
    if (!value.is_object()) return value;
    Json fields = Json::object();
    for (const auto& [key, item] : value.items()) fields[written_name(key)] = with_written_texts(item);
    return fields;
}

void append_compact(std::string& out, const Json& value) {
    if (value.is_object()) {
        out += '{';
        bool first = true;
        for (const auto& [key, item] : value.items()) {
            if (!first) out += ", ";
            first = false;
            out += Json(key).dump(-1, ' ', false);
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
        out += value.dump(-1, ' ', false);
    }
}

}  // namespace

std::string compact_json(const Json& value) {
    std::string out;
    append_compact(out, with_written_texts(value));
    return out;
}

std::string indented_json(const Json& value) { return with_written_texts(value).dump(2, ' ', false); }

}  // namespace tesmira
