#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "common/json.hpp"

namespace tesmira::engine {

// Measures the advance width of a whole text in pixels.
class TextMeasure {
public:
    virtual ~TextMeasure() = default;
    virtual double text_width(std::string_view utf8) const = 0;
};

// The last path component ("/" or "\") as the desktop shows it (a byte that is not UTF-8 as
// U+FFFD), without category-C characters, at most 255 characters; the fallback when the value
// is empty or nothing is left.
std::string display_filename(const Json& value, const std::string& fallback);
std::string display_filename(std::string_view value, const std::string& fallback);

// Greedy wrapping of the fields into lines no wider than `width`, breaking between
// characters inside a field too long for a line.
std::vector<std::string> wrap_identity_fields(const std::vector<std::string>& fields, const TextMeasure& font,
                                              double width);

}  // namespace tesmira::engine
