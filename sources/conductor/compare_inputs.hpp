#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "common/json.hpp"

namespace tesmira::conductor {

// One file of OLD or NEW as tesmira-compare sees it before the run: a pair to compare, a pair
// whose page counts already differ, or a PDF of a folder without a partner of the same name.
struct CompareItem {
    enum class Kind { compared, page_counts_differ, only_before, only_after };
    Kind kind = Kind::compared;
    std::filesystem::path before, after;  // empty on the side a file is missing from
    // The names the summary shows: relative to the folders given, or the paths given.
    std::string before_name, after_name;
    int before_pages = 0, after_pages = 0;  // for page_counts_differ
};

// OLD and NEW read as two files or two folders, in the order of their document names (NFC).
// Two folders give their PDFs paired strictly by name, also when each holds one. A pair whose
// files are each fine but differ in their page count is set aside here; every other fault is
// left for the run to refuse with the worker's message. Two folders without any PDF give no
// item (the run refuses that too). `settings` are normalized.
std::vector<CompareItem> compare_items(const std::filesystem::path& before, const std::filesystem::path& after,
                                       const Json& settings);

// The old and new paths of the items to compare, as the worker's two lists.
std::pair<std::vector<std::filesystem::path>, std::vector<std::filesystem::path>> compared_lists(
    const std::vector<CompareItem>& items);

}  // namespace tesmira::conductor
