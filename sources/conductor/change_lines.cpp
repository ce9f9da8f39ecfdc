#include "conductor/change_lines.hpp"

#include "common/rounding.hpp"
#include "common/unicode.hpp"

namespace tesmira::conductor {
namespace {

constexpr std::size_t SHOWN_CHARACTERS = 60;
const char* const LEFT_OUT = "…";  // the text of a change whose words the page report leaves out

std::string number(const Json& value) { return format_fixed(value.is_number() ? value.get<double>() : 0.0, 1); }

// The text on one line, cut where it is long.
std::string quoted(const std::string& text) {
    std::u32string characters = decode_utf8(text);
    for (char32_t& c : characters)
        if (c == U'\n') c = U' ';
    if (characters.size() > SHOWN_CHARACTERS) characters = characters.substr(0, SHOWN_CHARACTERS) + U"…";
    return "\"" + encode_utf8(characters) + "\"";
}

std::string words(const Json& change) {
    const std::string old_span = change.value("old_span", ""), new_span = change.value("new_span", "");
    const std::string old_text = change.value("old_text", ""), new_text = change.value("new_text", "");
    if (old_text == LEFT_OUT || new_text == LEFT_OUT) return ": words left out";
    if (!old_span.empty() && !new_span.empty()) return ": " + quoted(old_span) + " → " + quoted(new_span);
    if (!old_span.empty()) return ": " + quoted(old_span) + " deleted";
    if (!new_span.empty()) return ": " + quoted(new_span) + " inserted";
    if (new_text.empty() && old_text.empty()) return "";
    if (old_text == new_text) return ": text " + quoted(new_text) + " unchanged";
    return ": text " + quoted(new_text.empty() ? old_text : new_text);
}

std::string change_line(const std::string& prefix, const Json& change) {
    const Json box = change.value("box_mm", Json::array());
    if (!box.is_array() || box.size() != 4) return "";
    return prefix + "change at " + number(box[0]) + ", " + number(box[1]) + " mm (" + number(box[2]) + " × " +
           number(box[3]) + " mm)" + words(change) + "\n";
}

}  // namespace

std::string change_lines(const Json& page) {
    const std::string prefix = "  page " + std::to_string(page.value("page", 0LL)) + ": ";
    std::string lines;
    for (const Json& change : page.value("changes", Json::array()))
        if (change.is_object()) lines += change_line(prefix, change);
    if (const long long left_out = page.value("changes_left_out", 0LL); left_out > 0)
        lines += prefix + std::to_string(left_out) + " more change" + (left_out == 1 ? "" : "s") + " not listed\n";
    return lines;
}

}  // namespace tesmira::conductor
