#pragma once
// File names on Linux are bytes, which need not be UTF-8; texts (JSON, the summary, the band)
// are UTF-8. These are the forms in which a name, or a path, becomes text.
//
// The written form, in every JSON text the worker writes and in tesmira-compare's summary:
// valid UTF-8 stays as it is, each byte that is not part of valid UTF-8 is written "\xNN"
// (two lowercase hexadecimal digits), and a backslash is doubled where it stands before a
// backslash, an "x" or such an escape. So every name has exactly one form and reads back from
// it unchanged, and an ordinary name (valid UTF-8 without "\\" or "\x" in it) is its own form.
#include <string>
#include <string_view>

namespace tesmira {

// The written form of a name.
std::string written_name(std::string_view bytes);

// The written form for a line of text: also each control character (Unicode category Cc:
// newline, tab, escape, …) and the line and paragraph separators U+2028 and U+2029 are
// written byte by byte as "\xNN", so that a name never breaks or garbles the line. It reads
// back with name_bytes() as well.
std::string line_safe_name(std::string_view bytes);

// The name as a desktop shows it: each byte that is not part of valid UTF-8 as U+FFFD.
std::string shown_name(std::string_view bytes);

// The bytes of a name given in its written form (or its line-safe form).
std::string name_bytes(std::string_view written);

}  // namespace tesmira
