#include "app/model/project_name.hpp"

#include <utf8proc.h>

#include <cstdlib>
#include <memory>

#include "common/unicode.hpp"

namespace tesmira::app {
namespace {

constexpr std::size_t MAX_CHARACTERS = 80;
// Longer than any canonical decomposition in Unicode.
constexpr utf8proc_ssize_t UNDECOMPOSED_LIMIT = 32;

bool isTrimmed(char32_t c) {
    if ((c >= 0x0A && c <= 0x0D) || c == 0x85) return true;
    const auto category = utf8proc_category(utf8proc_int32_t(c));
    return category == UTF8PROC_CATEGORY_ZS || category == UTF8PROC_CATEGORY_ZL || category == UTF8PROC_CATEGORY_ZP;
}

std::size_t graphemeClusters(const std::u32string& points) {
    std::size_t clusters = 0;
    utf8proc_int32_t state = 0;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (i == 0 ||
            utf8proc_grapheme_break_stateful(utf8proc_int32_t(points[i - 1]), utf8proc_int32_t(points[i]), &state))
            ++clusters;
    return clusters;
}

}  // namespace

std::string normalizedProjectName(std::string_view name) {
    const std::u32string points = decode_utf8(name);
    std::size_t first = 0, last = points.size();
    while (first < last && isTrimmed(points[first])) ++first;
    while (last > first && isTrimmed(points[last - 1])) --last;
    return nfc(encode_utf8(std::u32string_view(points).substr(first, last - first)));
}

bool isAcceptableProjectName(std::string_view name) {
    const std::u32string points = decode_utf8(name);
    if (points.empty() || graphemeClusters(points) > MAX_CHARACTERS) return false;
    for (char32_t c : points) {
        // Bytes that are not UTF-8 decode to lone surrogates, which no name may hold either.
        if (c >= 0xD800 && c <= 0xDFFF) return false;
        const auto category = utf8proc_category(utf8proc_int32_t(c));
        if (category == UTF8PROC_CATEGORY_CC || category == UTF8PROC_CATEGORY_CF) return false;
    }
    return true;
}

std::string projectNameKey(std::string_view name) {
    // Marks are dropped where the platform's diacritic-insensitive compare drops them: a
    // character whose canonical decomposition starts below U+0510 (Latin, Greek, Cyrillic)
    // counts as that first character; every other one keeps its marks, so that Japanese
    // voiced marks still tell ガ from カ.
    // In NFC first, so that a stored name in decomposed form ("Cafe" and U+0301) meets the
    // typed one: a lone combining mark would otherwise stay in the key.
    std::u32string bases;
    for (const char32_t c : decode_utf8(nfc(name))) {
        utf8proc_int32_t parts[UNDECOMPOSED_LIMIT];
        int boundary = 0;
        const utf8proc_ssize_t count =
            utf8proc_decompose_char(utf8proc_int32_t(c), parts, UNDECOMPOSED_LIMIT, UTF8PROC_DECOMPOSE, &boundary);
        bases += count > 0 && count <= UNDECOMPOSED_LIMIT && parts[0] < 0x510 ? char32_t(parts[0]) : c;
    }
    const std::string text = encode_utf8(bases);
    utf8proc_uint8_t* mapped = nullptr;
    const utf8proc_ssize_t size = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                                               utf8proc_ssize_t(text.size()),
                                               &mapped,
                                               UTF8PROC_CASEFOLD);
    // utf8proc allocates the result with malloc; it goes with free.
    const std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> folded(mapped, &std::free);
    if (size < 0) return text;  // lone surrogates from bytes that are not UTF-8: compared as they are
    return std::string(reinterpret_cast<const char*>(folded.get()), std::size_t(size));
}

}  // namespace tesmira::app
