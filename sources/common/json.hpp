#pragma once
#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>
#include <optional>

#include <string>

namespace tesmira {

// Insertion-ordered, so that records keep the key order they are built in.
using Json = nlohmann::ordered_json;

// A settings flag is on unless it is false, null, zero or an empty text, list or record.
inline bool is_truthy(const Json& value) {
    if (value.is_null()) return false;
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number()) return value.get<double>() != 0;
    // nlohmann's empty() is false for every text, so a text's length is asked for itself.
    if (value.is_string()) return !value.get_ref<const std::string&>().empty();
    if (value.is_array() || value.is_object()) return !value.empty();
    return true;
}

// A JSON integer that fits a signed 64-bit integer; nothing for any other value.
inline std::optional<std::int64_t> signed_integer(const Json& value) {
    if (!value.is_number_integer()) return std::nullopt;
    if (value.is_number_unsigned() &&
        value.get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
    return value.get<std::int64_t>();
}

// The flag `key` of a record, `absent` when the key is missing.
inline bool flag_or(const Json& record, const char* key, bool absent) {
    auto it = record.find(key);
    return it == record.end() ? absent : is_truthy(*it);
}

}  // namespace tesmira
