#include "common/install_layout.hpp"
#include "engine/limits.hpp"

#include <system_error>

namespace tesmira::engine {
namespace {

// The nearest folder at or above the running executable that holds DATA_FOLDER with
// "references/" gives the root below it: "/usr/share/tesmira" for "/usr/libexec/tesmira/TesmiraWorker", the build
// tree's top for its programs, tests and tools.
std::filesystem::path find_root() {
    std::error_code error;
    std::filesystem::path executable = std::filesystem::canonical("/proc/self/exe", error);
    if (error) return std::filesystem::current_path();
    for (std::filesystem::path folder = executable.parent_path();; folder = folder.parent_path()) {
        const std::filesystem::path root = folder / DATA_FOLDER;
        if (std::filesystem::is_directory(root / "references", error)) return root;
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
