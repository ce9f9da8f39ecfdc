#pragma once
#include <filesystem>
#include <vector>

#include "common/errors.hpp"
#include "common/json.hpp"

namespace tesmira::conductor {

// The gate before any page of a pair is rendered: both files readable, unencrypted PDFs of
// at most 60 MiB and 1 to 50 pages, equal page counts, and page by page a standard unit,
// a size within the engine's limits at the settings' resolution and equal trim sizes.
// Returns the common page count and each page's size in pixels at the settings' resolution.
struct ValidPair {
    int pages = 0;
    std::vector<long long> page_pixels;
};
// The refusal of two PDFs that pass every check of their own but differ in their page count:
// the worker's message, with both counts for tesmira-compare's verdict.
struct PageCountMismatch : UserError {
    PageCountMismatch(int before_pages, int after_pages);
    int before_pages, after_pages;
};

ValidPair validate_pair(const std::filesystem::path& before, const std::filesystem::path& after, const Json& settings);

}  // namespace tesmira::conductor
