#include "conductor/killed_runs.hpp"

#include <system_error>

#include "common/files.hpp"
#include "common/owned_items.hpp"

namespace tesmira::conductor {

void sweep_killed_runs(const std::filesystem::path& output_root) {
    std::error_code error;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    if (!error) sweep_leftovers(temporary, TEMPORARY_ITEMS);
    const std::filesystem::path root = std::filesystem::weakly_canonical(absolute_path(output_root), error);
    // An output root that is missing or no folder is refused by the run with its own message.
    if (!error && std::filesystem::is_directory(root, error)) sweep_leftovers(root, OUTPUT_ROOT_ITEMS);
}

}  // namespace tesmira::conductor
