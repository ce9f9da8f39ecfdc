#pragma once
#include <filesystem>

namespace tesmira::engine {

inline constexpr long long MAX_PIXELS = 140'000'000;         // one rendered page
inline constexpr long long MAX_OUTPUT_PIXELS = 150'000'000;  // an image decoded or written whole
inline constexpr int MAX_PAGES = 50;                         // pages of one PDF
inline constexpr double MAX_MM = 3000;                       // longest trim side; the test allows + 0.01

// The folder that holds "references/", found from the running executable with symbolic
// links resolved: the executable's folder or one of its parents.
const std::filesystem::path& ROOT();

}  // namespace tesmira::engine
