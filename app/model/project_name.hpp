#pragma once
// The name of a new archive project: how it is tidied, what it may hold and when two names
// count as the same.

#include <string>
#include <string_view>

namespace tesmira::app {

// White space and line breaks (category Z, U+000A to U+000D, U+0085) removed at both ends,
// then NFC.
std::string normalizedProjectName(std::string_view name);

// 1 to 80 user-perceived characters (extended grapheme clusters), none of category Cc or Cf.
bool isAcceptableProjectName(std::string_view name);

// Equal for names that differ only in letter case or in the diacritics of Latin, Greek and
// Cyrillic letters; widths and the marks of other scripts stay apart.
std::string projectNameKey(std::string_view name);

}  // namespace tesmira::app
