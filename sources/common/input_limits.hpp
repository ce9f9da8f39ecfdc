#pragma once
#include <cstddef>
#include <filesystem>
#include <optional>
#include <vector>

namespace tesmira {

// What one run takes in: at most this many PDFs on a side, each at most 60 MiB, 2 GiB in all.
inline constexpr std::size_t MAX_FILES_PER_SIDE = 100;
inline constexpr long long MAX_FILE_BYTES = 60LL * 1024 * 1024;
inline constexpr long long MAX_TOTAL_BYTES = 2LL * 1024 * 1024 * 1024;

// The sizes of a run's files, measured in order: the first that is no regular file, cannot be
// measured or is larger than MAX_FILE_BYTES; otherwise nothing and the sum of all sizes.
struct InputSizes {
    std::optional<std::filesystem::path> refused;
    long long total = 0;
};
InputSizes measure_inputs(const std::vector<std::filesystem::path>& paths);

}  // namespace tesmira
