#pragma once
#include <filesystem>

#include "common/json.hpp"
#include "conductor/events.hpp"

namespace tesmira::conductor {

// Compares one old and one new PDF page by page and publishes the page images with the
// job report ("検版情報.json", version 1) as one image folder under `output_root`.
// Returns the published folder.
std::filesystem::path batch(const std::filesystem::path& before, const std::filesystem::path& after,
                            const std::filesystem::path& output_root, const Json& settings,
                            const Progress& progress = emit);

}  // namespace tesmira::conductor
