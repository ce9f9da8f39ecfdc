#pragma once
// What a finished run of the worker reports, made comparable with another run's.

#include <opencv2/core.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "worker_process.hpp"

namespace tesmira::worker_tests {

// The event lines with what differs from run to run made alike: the time stamps and random
// parts of names, and each page's compute time.
std::vector<std::string> comparable(const Outcome& run);

// Each result PDF's pages as pixels below their band (which holds the inspection time), in the
// order of the "complete" event's "pdfs", rendered at `dpi` in `scratch`.
std::vector<cv::Mat> result_pages(const Outcome& run, const std::filesystem::path& scratch, int dpi);

}  // namespace tesmira::worker_tests
