#include "common/unicode.hpp"

#include <utf8proc.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace tesmira {
namespace {

std::size_t columns_of(char32_t c) {
    if (is_undecodable_byte(c)) return 1;
    return std::size_t(std::max(0, utf8proc_charwidth(utf8proc_int32_t(c))));
}

// Runs a utf8proc mapping over the valid stretches of the text; escaped bytes pass as they are.
std::string map_text(std::string_view text, utf8proc_option_t options) {
    std::u32string points = decode_utf8(text);
    std::string out;
    std::size_t start = 0;
    auto flush = [&](std::size_t end) {
        if (end == start) return;
        std::string chunk = encode_utf8(std::u32string_view(points).substr(start, end - start));
        utf8proc_uint8_t* mapped = nullptr;
        utf8proc_ssize_t n = utf8proc_map(
            reinterpret_cast<const utf8proc_uint8_t*>(chunk.data()), utf8proc_ssize_t(chunk.size()), &mapped, options);
        if (n < 0) throw std::runtime_error(utf8proc_errmsg(n));
        std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owner(mapped, &std::free);
        out.append(reinterpret_cast<const char*>(mapped), std::size_t(n));
    };
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (is_undecodable_byte(points[i])) {
            flush(i);
            out += char(points[i] - 0xDC00);
            start = i + 1;
        }
    }
    flush(points.size());
    return out;
}

}  // namespace

bool is_undecodable_byte(char32_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

std::u32string decode_utf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    utf8proc_ssize_t left = utf8proc_ssize_t(text.size());
    while (left > 0) {
        utf8proc_int32_t c = 0;
        utf8proc_ssize_t n = utf8proc_iterate(bytes, left, &c);
        if (n <= 0) {
            out += char32_t(0xDC00 + *bytes);
            n = 1;
        } else {
            out += char32_t(c);
        }
        bytes += n;
        left -= n;
    }
    return out;
}

std::string encode_utf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (is_undecodable_byte(c)) {
            out += char(c - 0xDC00);
            continue;
        }
        utf8proc_uint8_t buffer[4];
        utf8proc_ssize_t n = utf8proc_encode_char(utf8proc_int32_t(c), buffer);
        out.append(reinterpret_cast<const char*>(buffer), std::size_t(n));
    }
    return out;
}

bool is_category_c(char32_t c) {
    if (c >= 0xD800 && c <= 0xDFFF) return true;  // surrogates, including escaped bytes
    switch (utf8proc_category(utf8proc_int32_t(c))) {
        case UTF8PROC_CATEGORY_CN:
        case UTF8PROC_CATEGORY_CC:
        case UTF8PROC_CATEGORY_CF:
        case UTF8PROC_CATEGORY_CS:
        case UTF8PROC_CATEGORY_CO:
            return true;
        default:
            return false;
    }
}

std::string remove_category_c(std::string_view text) {
    std::u32string points = decode_utf8(text);
    std::u32string kept;
    kept.reserve(points.size());
    for (char32_t c : points)
        if (!is_category_c(c)) kept += c;
    return encode_utf8(kept);
}

bool is_wide(char32_t c) { return c <= 0x10FFFF && utf8proc_charwidth(utf8proc_int32_t(c)) == 2; }

bool is_space(char32_t c) {
    if (c >= U'\t' && c <= U'\r') return true;
    if (c > 0x10FFFF) return false;
    switch (utf8proc_category(utf8proc_int32_t(c))) {
        case UTF8PROC_CATEGORY_ZS:
        case UTF8PROC_CATEGORY_ZL:
        case UTF8PROC_CATEGORY_ZP:
            return true;
        default:
            return false;
    }
}

std::string nfc(std::string_view text) { return map_text(text, utf8proc_option_t(UTF8PROC_STABLE | UTF8PROC_COMPOSE)); }

std::string casefold(std::string_view text) { return map_text(text, utf8proc_option_t(UTF8PROC_CASEFOLD)); }

std::string cut_utf8(std::string_view text, std::size_t max_bytes) {
    if (text.size() <= max_bytes) return std::string(text);
    std::size_t end = max_bytes;
    // Step back over continuation bytes so that no character is split.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}

std::size_t terminal_columns(std::string_view text) {
    std::size_t columns = 0;
    for (char32_t c : decode_utf8(text)) columns += columns_of(c);
    return columns;
}

std::string cut_to_columns(std::string_view text, std::size_t columns) {
    const std::u32string points = decode_utf8(text);
    std::size_t used = 0, kept = 0;
    for (; kept < points.size() && used + columns_of(points[kept]) <= columns; ++kept) used += columns_of(points[kept]);
    return encode_utf8(std::u32string_view(points).substr(0, kept));
}

}  // namespace tesmira
