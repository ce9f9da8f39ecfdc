#include "common/input_limits.hpp"

#include <system_error>

namespace tesmira {

InputSizes measure_inputs(const std::vector<std::filesystem::path>& paths) {
    InputSizes sizes;
    for (const std::filesystem::path& path : paths) {
        std::error_code error;
        const bool regular = std::filesystem::is_regular_file(path, error);
        const auto size = regular ? std::filesystem::file_size(path, error) : 0;
        if (!regular || error || static_cast<long long>(size) > MAX_FILE_BYTES) return {path, 0};
        sizes.total += static_cast<long long>(size);
    }
    return sizes;
}

}  // namespace tesmira
