#pragma once
#include <filesystem>
#include <vector>

#include "common/json.hpp"
#include "conductor/compared_run.hpp"
#include "conductor/events.hpp"

namespace tesmira::conductor {

// One comparison over one or more old and new PDFs paired by name: every pair is copied and
// validated before the first page's "progress" (the pages of the pairs checked so far are
// compared meanwhile), then the pages of all pairs are taken from one pipeline, and each pair
// goes to `take` once its last page is in. One pair is a single-pair batch. Sends "start" and
// one "progress" per page; the run's "complete" is its caller's to send. `settings` normalized.
void batch_many(const std::vector<std::filesystem::path>& before, const std::vector<std::filesystem::path>& after,
                const Json& settings, const PairSink& take, const Progress& progress = emit);

}  // namespace tesmira::conductor
