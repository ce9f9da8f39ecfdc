#pragma once
// A field of a decoded worker event read as the type the model expects, or nothing when the key
// is missing or holds another type.

#include <QString>

#include <optional>

#include "common/json.hpp"
#include "common/name_form.hpp"

namespace tesmira::app {

inline std::optional<qint64> integerAt(const Json& record, const char* key) {
    const auto it = record.find(key);
    return it == record.end() ? std::nullopt : signed_integer(*it);
}

// The worker writes its texts, names and paths among them, which are bytes, in their written
// form; read back, a byte that is not UTF-8 becomes U+FFFD, as Qt shows such names.
inline std::optional<QString> stringAt(const Json& record, const char* key) {
    const auto it = record.find(key);
    if (it == record.end() || !it->is_string()) return std::nullopt;
    return QString::fromStdString(name_bytes(it->get<std::string>()));
}

inline std::optional<double> numberAt(const Json& record, const char* key) {
    const auto it = record.find(key);
    if (it == record.end() || !it->is_number()) return std::nullopt;
    return it->get<double>();
}

inline bool isTrue(const Json& record, const char* key) {
    const auto it = record.find(key);
    return it != record.end() && it->is_boolean() && it->get<bool>();
}

}  // namespace tesmira::app
