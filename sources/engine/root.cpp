#include "engine/limits.hpp"

#include <optional>
#include <system_error>

#include "common/errors.hpp"
#include "common/install_layout.hpp"

namespace tesmira::engine {
namespace {

namespace fs = std::filesystem;

// What is left of `folder` without its last folders when they are `layout` ("*" standing for
// any one), nothing otherwise: "/usr" for "/usr/libexec/tesmira" and "libexec/tesmira".
std::optional<fs::path> prefix_for(fs::path folder, std::string_view layout) {
    for (fs::path wanted = fs::path(layout); !wanted.empty(); wanted = wanted.parent_path()) {
        if (folder == folder.root_path() || folder.empty()) return std::nullopt;
        if (wanted.filename() != "*" && folder.filename() != wanted.filename()) return std::nullopt;
        folder = folder.parent_path();
    }
    return folder;
}

// The prefix of the program in `folder`, as the layout places programs: its installation's
// (bin, libexec/tesmira), or its build tree's for the tests, benchmarks and tools. Never a
// folder above that: anything above the prefix may belong to anyone (/tmp, a download folder).
std::optional<fs::path> prefix_of(const fs::path& folder) {
    for (std::string_view layout : {PROGRAMS_FOLDER, HELPERS_FOLDER})
        if (const auto prefix = prefix_for(folder, layout)) return prefix;
    std::error_code error;
    for (std::string_view layout : BUILD_ONLY_FOLDERS)
        if (const auto top = prefix_for(folder, layout); top && fs::is_regular_file(*top / BUILD_TREE_MARK, error))
            return top;
    return std::nullopt;
}

std::optional<fs::path> find_root() {
    std::error_code error;
    const fs::path executable = fs::canonical("/proc/self/exe", error);
    if (error) return std::nullopt;
    const auto prefix = prefix_of(executable.parent_path());
    if (!prefix) return std::nullopt;
    const fs::path root = *prefix / DATA_FOLDER;
    if (!fs::is_directory(root / "references", error)) return std::nullopt;
    return root;
}

}  // namespace

const std::filesystem::path& ROOT() {
    static const std::optional<std::filesystem::path> root = find_root();
    if (!root) throw UserError("刻印の画像が見つかりません。アプリを再インストールしてください。");
    return *root;
}

}  // namespace tesmira::engine
