#pragma once
#include <filesystem>

#include "common/json.hpp"
#include "conductor/compared_run.hpp"
#include "conductor/events.hpp"

namespace tesmira::conductor {

// Compares one old and one new PDF page by page and publishes the page images with the job
// report ("検版情報.json", version 1) as one image folder in `root`, an existing folder
// (a private one of the run). Sends "start" and one "progress" per page; the run's
// "complete" is its caller's to send.
ComparedRun batch(const std::filesystem::path& before, const std::filesystem::path& after,
                  const std::filesystem::path& root, const Json& settings, const Progress& progress = emit);

}  // namespace tesmira::conductor
