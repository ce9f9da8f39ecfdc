#include "engine/limits.hpp"

#include <system_error>

namespace tesmira::engine {
namespace {

std::filesystem::path find_root() {
    std::error_code error;
    std::filesystem::path executable = std::filesystem::canonical("/proc/self/exe", error);
    if (error) return std::filesystem::current_path();
    // Installed, "references" sits beside the binaries; in the build tree it sits at the top,
    // above the folders that hold the test and tool executables.
    for (std::filesystem::path folder = executable.parent_path();; folder = folder.parent_path()) {
        if (std::filesystem::is_directory(folder / "references", error)) return folder;
        if (folder == folder.root_path() || folder.empty()) break;
    }
    return executable.parent_path();
}

}  // namespace

const std::filesystem::path& ROOT() {
    static const std::filesystem::path root = find_root();
    return root;
}

}  // namespace tesmira::engine
