#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace tesmira {

// Code points of UTF-8 text. Bytes that are not valid UTF-8 become the lone surrogates
// U+DC80..U+DCFF (as file names are decoded on Linux), and encode back to the same bytes.
std::u32string decode_utf8(std::string_view text);
std::string encode_utf8(std::u32string_view text);

// Whether a code point of decode_utf8 stands for a byte that is not valid UTF-8 (the byte is
// the code point less 0xDC00).
bool is_undecodable_byte(char32_t c);

// True for the general categories Cc, Cf, Cs, Co and Cn.
bool is_category_c(char32_t c);

std::string remove_category_c(std::string_view text);

// True for the characters that East Asian text sets at full width (kanji, kana, full-width
// forms and punctuation: utf8proc's width 2).
bool is_wide(char32_t c);
// True for white space: the separators (Zs, Zl, Zp) and the control characters tab to
// carriage return.
bool is_space(char32_t c);

std::string nfc(std::string_view text);
std::string casefold(std::string_view text);

// The longest prefix of at most `max_bytes` bytes that does not split a character.
std::string cut_utf8(std::string_view text, std::size_t max_bytes);

// The columns that the text takes on a terminal (two for a wide character such as a kanji,
// none for a combining mark; a byte that is not UTF-8 counts one).
std::size_t terminal_columns(std::string_view text);

// The longest prefix that takes at most `columns` columns, not splitting a character.
std::string cut_to_columns(std::string_view text, std::size_t columns);

}  // namespace tesmira
