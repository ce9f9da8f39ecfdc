#pragma once
#include <filesystem>
#include <vector>

#include "common/json.hpp"
#include "conductor/compared_run.hpp"
#include "conductor/events.hpp"

namespace tesmira::conductor {

// One comparison over one or more old and new PDFs paired by name: every pair is copied and
// validated before the first page is compared, then the pages of all pairs are compared in one
// pipeline, each pair's images in a folder of its own inside one image folder with a job report
// of version 2, published in `root` (an existing folder, a private one of the run). One pair
// is a single-pair batch. Sends "start" and one "progress" per page; the run's "complete" is
// its caller's to send.
ComparedRun batch_many(const std::vector<std::filesystem::path>& before,
                       const std::vector<std::filesystem::path>& after, const std::filesystem::path& root,
                       const Json& settings, const Progress& progress = emit);

}  // namespace tesmira::conductor
