#pragma once
#include <filesystem>
#include <string>

namespace tesmira::conductor {

// The window draws the old and the new page of a result from the very PDFs that were compared:
// the worker keeps them, when asked (--compared-copies), as FOLDER/<old file name>/before.pdf
// and after.pdf. Keeping is best effort: a copy that cannot be kept leaves the comparison as it
// is, and the window then cannot show that pair's pages.
void keep_compared_copies_in(const std::filesystem::path& folder);

// Keeps one compared pair, the worker's private copies, by hard links where it can and by copies
// otherwise; nothing without a folder set.
void keep_compared_pair(const std::string& before_name, const std::filesystem::path& before,
                        const std::filesystem::path& after);

}  // namespace tesmira::conductor
