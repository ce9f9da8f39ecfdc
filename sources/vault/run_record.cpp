#include "vault/run_record.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <sstream>
#include <string_view>
#include <system_error>

#include "common/files.hpp"
#include "common/random_id.hpp"

namespace tesmira::vault {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view RECORD = ".run-";
constexpr std::size_t MAX_RECORD_BYTES = 1 << 20;  // 100 files' ids are 3.3 kB

[[noreturn]] void fail(const char* what, const fs::path& path) {
    throw fs::filesystem_error(what, path, std::error_code(errno, std::generic_category()));
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

void RunRecord::note(const std::string& revision_id) {
    const std::string line = revision_id + "\n";
    if (::write(file_.get(), line.data(), line.size()) != ssize_t(line.size())) fail("cannot write", path_);
    if (::fdatasync(file_.get()) != 0) fail("cannot sync", path_);
}

void RunRecord::sweep(const fs::path& project_folder, const std::function<void(const std::string&)>& discard) {
    const std::array prefixes{RECORD};
    sweep_leftovers(project_folder, prefixes, [&](const fs::path& record) {
        std::error_code error;
        if (!fs::is_regular_file(fs::symlink_status(record, error))) return;  // the lock alone
        std::istringstream ids(read_regular_file(record, MAX_RECORD_BYTES));
        for (std::string id; std::getline(ids, id);)
            if (is_hex32(id)) discard(id);
    });
}

}  // namespace tesmira::vault
