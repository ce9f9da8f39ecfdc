#pragma once
#include <filesystem>
#include <vector>

#include "common/json.hpp"
#include "conductor/events.hpp"

namespace tesmira::conductor {

// The top step of a comparison run: builds the result folder "てすみら検版_<stamp>" as a
// hidden partial folder in `output_root` (refused when that is no folder), fills it with the
// flat result PDFs and publishes it by one rename, or leaves nothing. `settings` are
// normalized here. Sends "start", the "progress" events and, after the rename, the run's one
// "complete"; returns the final PDF paths.
std::vector<std::filesystem::path> export_pdfs(const std::vector<std::filesystem::path>& before,
                                               const std::vector<std::filesystem::path>& after,
                                               const std::filesystem::path& output_root, const Json& settings,
                                               const Progress& progress = emit);

}  // namespace tesmira::conductor
