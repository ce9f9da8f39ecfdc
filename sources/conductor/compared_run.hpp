#pragma once
#include <filesystem>

#include "common/json.hpp"

namespace tesmira::conductor {

// What a comparison run hands to the step that binds its images: the published image folder
// and its page reports in order, pair after pair, each with where its regions are (the
// records of the job report with page_regions added).
struct ComparedRun {
    std::filesystem::path image_folder;
    Json pages = Json::array();
};

}  // namespace tesmira::conductor
