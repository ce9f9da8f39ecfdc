#include "conductor/failure_message.hpp"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cerrno>
#include <new>
#include <span>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "common/files.hpp"
#include "common/owned_items.hpp"
#include "conductor/events.hpp"
#include "pdf/mupdf_document.hpp"
#include "vault/sqlite_database.hpp"

namespace tesmira::conductor {
namespace {

namespace fs = std::filesystem;

const std::string NO_MEMORY = "メモリが足りないため処理できませんでした。";
const std::string DISK_FULL = "の空き容量が足りません。";
const std::string NOT_WRITABLE = "に書き込めません。";

std::string with_reason(const std::string& sentence, const std::string& reason) {
    return sentence + "（" + reason + "）";
}

std::string named(const std::string& role, const fs::path& folder) { return role + "「" + folder.string() + "」"; }

// Where in the run's folders a failing path lies.
struct Place {
    std::string folder;     // the run's folder, named with its role
    bool run_item = false;  // inside one of the run's own hidden or private items there
};

// The path below `folder` when it lies there.
std::optional<fs::path> below(const fs::path& path, const fs::path& folder) {
    const auto [end, rest] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    if (end != folder.end()) return std::nullopt;
    fs::path relative;
    for (auto part = rest; part != path.end(); ++part) relative /= *part;
    return relative;
}

bool is_item(const fs::path& relative, std::span<const std::string_view> prefixes) {
    const std::string first = relative.empty() ? std::string() : relative.begin()->string();
    return std::any_of(
        prefixes.begin(), prefixes.end(), [&](std::string_view prefix) { return first.starts_with(prefix); });
}

// The run's folder that holds `path` (the innermost, where one holds another); none for a path
// elsewhere (an input of the operator's, say).
std::optional<Place> place_of(const fs::path& path, const RunFolders& folders) {
    struct Known {
        std::string role;
        fs::path folder;
        std::span<const std::string_view> items;
    };
    std::vector<Known> known = {{"保存先", folders.output_root, OUTPUT_ROOT_ITEMS},
                                {"一時フォルダー", folders.temporary, TEMPORARY_ITEMS}};
    if (folders.archive_root) known.push_back({"保存版フォルダー", *folders.archive_root, {}});
    const fs::path failing = absolute_path(path);
    std::optional<Place> found;
    std::size_t depth = 0;
    for (const Known& k : known) {
        std::error_code error;
        const fs::path given = absolute_path(k.folder), real = fs::weakly_canonical(given, error);
        for (const fs::path& form : {given, error ? given : real}) {
            const auto relative = below(failing, form);
            const auto parts = std::size_t(std::distance(form.begin(), form.end()));
            if (!relative || parts <= depth) continue;
            found = Place{named(k.role, given), is_item(*relative, k.items)};
            depth = parts;
        }
    }
    return found;
}

// A full disk or a folder that cannot be written, told by the system's error number.
std::optional<std::string> told_by_errno(int number, const fs::path& path, const std::string& reason,
                                         const RunFolders& folders) {
    const std::optional<Place> place = path.empty() ? std::nullopt : place_of(path, folders);
    const std::string where = place           ? place->folder
                              : !path.empty() ? named("", absolute_path(path).parent_path())
                                              : std::string("ディスク");
    switch (number) {
        case ENOSPC:
        case EDQUOT:
            return with_reason(where + DISK_FULL, reason);
        case EROFS:
            return with_reason(where + NOT_WRITABLE, reason);
        case EACCES:
        case EPERM:
            // Only for what the run makes: a file of the operator's that cannot be read keeps its text.
            if (place && place->run_item) return with_reason(where + NOT_WRITABLE, reason);
            return std::nullopt;
        case ENOMEM:
            return with_reason(NO_MEMORY, reason);
        default:
            return std::nullopt;
    }
}

// The history is the one SQLite database of a run, in the archive.
std::optional<std::string> told_by_sqlite(const vault::SqliteError& error, const RunFolders& folders) {
    const std::string archive = named("保存版フォルダー", folders.archive_root.value_or(fs::path()));
    switch (error.code() & 0xFF) {
        case SQLITE_FULL:
            return with_reason(archive + DISK_FULL, error.what());
        case SQLITE_READONLY:
            return with_reason(archive + NOT_WRITABLE, error.what());
        case SQLITE_NOMEM:
            return with_reason(NO_MEMORY, error.what());
        default:
            return std::nullopt;
    }
}

std::optional<std::string> told_in_japanese(const std::exception& failure, const RunFolders& folders) {
    if (dynamic_cast<const OutputWriteError*>(&failure)) return std::nullopt;
    if (dynamic_cast<const std::bad_alloc*>(&failure)) return with_reason(NO_MEMORY, failure.what());
    if (const auto* error = dynamic_cast<const fs::filesystem_error*>(&failure))
        return told_by_errno(error->code().value(), error->path1(), error->code().message(), folders);
    if (const auto* error = dynamic_cast<const std::system_error*>(&failure))
        if (error->code().category() == std::generic_category() || error->code().category() == std::system_category())
            return told_by_errno(error->code().value(), {}, error->what(), folders);
    if (const auto* error = dynamic_cast<const pdf::MupdfError*>(&failure))
        if (error->out_of_memory()) return with_reason(NO_MEMORY, error->what());
    if (const auto* error = dynamic_cast<const cv::Exception*>(&failure))
        if (error->code == cv::Error::StsNoMem) return with_reason(NO_MEMORY, error->err);
    if (const auto* error = dynamic_cast<const vault::SqliteError*>(&failure)) return told_by_sqlite(*error, folders);
    return std::nullopt;
}

}  // namespace

std::string failure_message(const std::exception& failure, const RunFolders& folders) {
    return told_in_japanese(failure, folders).value_or(failure.what());
}

}  // namespace tesmira::conductor
