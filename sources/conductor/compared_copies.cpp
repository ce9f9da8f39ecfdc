#include "conductor/compared_copies.hpp"

#include <unistd.h>

#include <optional>
#include <system_error>

#include "common/files.hpp"

namespace tesmira::conductor {
namespace {

std::optional<std::filesystem::path>& kept_in() {
    static std::optional<std::filesystem::path> folder;
    return folder;
}

void keep(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::link(from.c_str(), to.c_str()) != 0) copy_content(from, to);
}

}  // namespace

void keep_compared_copies_in(const std::filesystem::path& folder) { kept_in() = absolute_path(folder); }

void keep_compared_pair(const std::string& before_name, const std::filesystem::path& before,
                        const std::filesystem::path& after) {
    if (!kept_in() || before_name.empty() || before_name == "." || before_name == "..") return;
    const std::filesystem::path pair = *kept_in() / before_name;
    try {
        make_folder(pair);
    } catch (const std::exception&) {
        return;
    }
    try {
        keep(before, pair / "before.pdf");
        keep(after, pair / "after.pdf");
    } catch (const std::exception&) {
        std::error_code ignored;
        std::filesystem::remove_all(pair, ignored);
    }
}

}  // namespace tesmira::conductor
