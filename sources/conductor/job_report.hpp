#pragma once
#include <filesystem>

#include "common/json.hpp"
#include "conductor/partial_folder.hpp"

namespace tesmira::conductor {

// Writes `report` into the partial folder as its job report "検版情報.json", then gives the
// folder its final name: how every image folder of a run, a pair's or the whole run's, is
// published.
void publish_with_job_report(PartialFolder& folder, const Json& report, const std::filesystem::path& final_path);

}  // namespace tesmira::conductor
