#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/json.hpp"
#include "common/progress.hpp"

namespace tesmira::vault {

// The export of a whole comparison run: returns the result PDFs it published.
using Exporter = std::function<std::vector<std::filesystem::path>(
    const std::vector<std::filesystem::path>& before, const std::vector<std::filesystem::path>& after,
    const std::filesystem::path& output_root, const Json& settings, const Progress& progress)>;
// The check of a PDF pair; refuses with a user message.
using Validator =
    std::function<void(const std::filesystem::path& before, const std::filesystem::path& after, const Json& settings)>;

// One archive-mode run in one write transaction of the project's history: registers the new
// PDFs as the first saved versions, or compares them with the latest saved versions of the
// same names and then stores them. On any way out before the commit the history, the version
// files and the published result folder are returned to what they were.
std::vector<std::filesystem::path> archive_job(const std::vector<std::filesystem::path>& after,
                                               const std::filesystem::path& root, const std::string& project,
                                               const std::filesystem::path& output_root, const Json& settings,
                                               bool register_baseline, const Exporter& exporter,
                                               const Validator& validator, const Progress& progress);

}  // namespace tesmira::vault
