#pragma once
#include <filesystem>

#include "common/json.hpp"
#include "conductor/compared_run.hpp"
#include "conductor/events.hpp"

namespace tesmira::conductor {

// Compares one old and one new PDF page by page, from private copies in a job folder, and hands
// the compared pair to `take`. Sends "start" and one "progress" per page; the run's "complete"
// is its caller's to send. `settings` normalized.
void batch(const std::filesystem::path& before, const std::filesystem::path& after, const Json& settings,
           const PairSink& take, const Progress& progress = emit);

}  // namespace tesmira::conductor
