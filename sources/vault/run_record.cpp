#include "vault/run_record.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <sstream>
#include <string_view>
#include <system_error>

#include "common/files.hpp"
#include "common/name_form.hpp"
#include "common/random_id.hpp"

namespace tesmira::vault {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view RECORD = ".run-";
// A published folder's line: this and the folder's path in its line-safe form.
constexpr std::string_view PUBLISHED = "published ";
constexpr std::size_t MAX_RECORD_BYTES = 1 << 20;  // 100 files' ids are 3.3 kB

[[noreturn]] void fail(const char* what, const fs::path& path) {
    throw fs::filesystem_error(what, path, std::error_code(errno, std::generic_category()));
}

KilledRun read_record(const fs::path& record) {
    KilledRun run;
    std::istringstream lines(read_regular_file(record, MAX_RECORD_BYTES));
    for (std::string line; std::getline(lines, line);) {
        if (is_hex32(line))
            run.revision_ids.push_back(line);
        else if (line.starts_with(PUBLISHED))
            run.published_results.emplace_back(name_bytes(std::string_view(line).substr(PUBLISHED.size())));
    }
    return run;
}

}  // namespace

RunRecord::RunRecord(const fs::path& project_folder) : path_(new_item_name(project_folder, RECORD)), owner_(path_) {
    file_ = Descriptor(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file_.valid()) fail("cannot create", path_);
}

RunRecord::~RunRecord() {
    file_.reset();
    ::unlink(path_.c_str());
}

void RunRecord::write_line(const std::string& line) {
    const std::string text = line + "\n";
    if (::write(file_.get(), text.data(), text.size()) != ssize_t(text.size())) fail("cannot write", path_);
    if (::fdatasync(file_.get()) != 0) fail("cannot sync", path_);
}

void RunRecord::note(const std::string& revision_id) { write_line(revision_id); }

void RunRecord::note_published(const fs::path& result_folder) {
    write_line(std::string(PUBLISHED) + line_safe_name(result_folder.string()));
}

void RunRecord::sweep(const fs::path& project_folder, const std::function<void(const KilledRun&)>& undo) {
    const std::array prefixes{RECORD};
    sweep_leftovers(project_folder, prefixes, [&](const fs::path& record) {
        std::error_code error;
        if (fs::is_regular_file(fs::symlink_status(record, error))) undo(read_record(record));  // else the lock alone
    });
}

}  // namespace tesmira::vault
