#include "engine/display_names.hpp"

#include <algorithm>

#include "common/name_form.hpp"
#include "common/unicode.hpp"

namespace tesmira::engine {
namespace {

constexpr std::size_t MAX_NAME_CHARACTERS = 255;
const std::string FIELD_SEPARATOR = "\u3000";

// The text form of a settings value, as the settings file states it.
std::string text_form(const Json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_boolean()) return value.get<bool>() ? "True" : "False";
    return value.dump();
}

}  // namespace

std::string display_filename(std::string_view value, const std::string& fallback) {
    std::string text(value.empty() ? std::string_view(fallback) : value);
    std::replace(text.begin(), text.end(), '\\', '/');
    if (auto slash = text.rfind('/'); slash != std::string::npos) text.erase(0, slash + 1);
    std::u32string kept = decode_utf8(remove_category_c(shown_name(text)));
    if (kept.size() > MAX_NAME_CHARACTERS) kept.resize(MAX_NAME_CHARACTERS);
    std::string name = encode_utf8(kept);
    return name.empty() ? fallback : name;
}

std::string display_filename(const Json& value, const std::string& fallback) {
    const std::string text = is_truthy(value) ? text_form(value) : std::string();
    return display_filename(std::string_view(text), fallback);
}

std::vector<std::string> wrap_identity_fields(const std::vector<std::string>& fields, const TextMeasure& font,
                                              double width) {
    std::vector<std::string> lines;
    std::string current;
    for (const std::string& field : fields) {
        std::string candidate = current.empty() ? field : current + FIELD_SEPARATOR + field;
        if (font.text_width(candidate) <= width) {
            current = std::move(candidate);
            continue;
        }
        if (!current.empty()) {
            lines.push_back(std::move(current));
            current.clear();
        }
        for (char32_t c : decode_utf8(field)) {
            std::string character = encode_utf8(std::u32string(1, c));
            if (!current.empty() && font.text_width(current + character) > width) {
                lines.push_back(std::move(current));
                current.clear();
            }
            current += character;
        }
    }
    if (!current.empty()) lines.push_back(std::move(current));
    return lines;
}

}  // namespace tesmira::engine
