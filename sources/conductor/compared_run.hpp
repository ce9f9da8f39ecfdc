#pragma once
#include <functional>
#include <string>
#include <vector>

#include "common/json.hpp"

namespace tesmira::conductor {

// One compared pair as the step that binds its images receives it, once its last page is
// compared: the old file's name, the page reports in page order (each with where its regions
// are, "file" and "strict_file" still null), and the banded page images, encoded, for the
// result PDF and, with the noise pass, for the strict PDF.
struct ComparedPair {
    std::string source_name;
    Json pages = Json::array();
    std::vector<std::string> result_images, strict_images;
};

// Takes each compared pair of a run, in pair order.
using PairSink = std::function<void(ComparedPair)>;

}  // namespace tesmira::conductor
