#pragma once
#include <filesystem>

#include "common/json.hpp"

namespace tesmira::engine {

// Compares one page of "before.pdf" and "after.pdf" in a job folder. Writes "result.png"
// (and "strict.png", "mask.png", "before.png", "after.png" as the settings ask), checks an
// optional "reference.png", writes "result.json" last and returns the same record.
Json run_job(const std::filesystem::path& folder, const Json& settings);

}  // namespace tesmira::engine
