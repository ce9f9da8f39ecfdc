#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "common/copy_names.hpp"
#include "common/json.hpp"
#include "conductor/pair_validation.hpp"
#include "pdf/page_identity.hpp"

namespace tesmira::conductor {

// One pair copied privately and checked there, so that a file changed or replaced meanwhile
// cannot reach the comparison. It stays where it is made: the page jobs refer to it.
struct StagedPair {
    std::filesystem::path before, after;  // the private copies
    std::string before_name, after_name;  // the originals' file names
    CopyNames copies;                     // failures while reading the copies name the originals
    ValidPair valid;
    std::vector<pdf::PagePair> proofs;  // the pages proven to draw alike, and naming inks
};

// Copies the originals to `pair.before` and `pair.after` (new files), both at the same time;
// failures name the originals as given.
void copy_pair(StagedPair& pair, const std::filesystem::path& original_before,
               const std::filesystem::path& original_after);

// Checks the copies (validate_pair) and, at the same time, reads what their pages' graphs prove.
void check_pair(StagedPair& pair, const Json& settings);

}  // namespace tesmira::conductor
