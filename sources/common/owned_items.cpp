#include "common/owned_items.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>
#include <vector>

#include "common/random_id.hpp"

namespace tesmira {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view LOCK_SUFFIX = ".lock";

bool same_file(int fd, const fs::path& path) {
    struct stat open {
    }, named{};
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

bool ours(const fs::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && info.st_uid == ::getuid();
}

bool has_prefix(std::string_view name, std::span<const std::string_view> prefixes) {
    for (std::string_view prefix : prefixes)
        if (name.starts_with(prefix)) return true;
    return false;
}

void remove_item(const fs::path& item, const std::function<void(const fs::path&)>& before_removal) {
    if (before_removal) try {
            before_removal(item);
        } catch (const std::exception&) {
            return;  // left for a later sweep
        }
    std::error_code ignored;
    fs::remove_all(item, ignored);  // a link is removed itself, never followed
}

// Removes the item of a lock file whose owner is gone, then the lock file.
void sweep_locked(const fs::path& lock, const std::function<void(const fs::path&)>& before_removal) {
    struct stat info {};
    if (::lstat(lock.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) return;
    const Descriptor file(::open(lock.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid() || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) return;  // in use
    if (!same_file(file.get(), lock)) return;                                  // swept by another run meanwhile
    std::string item = lock.string();
    item.resize(item.size() - LOCK_SUFFIX.size());
    remove_item(item, before_removal);
    std::error_code error;
    if (fs::exists(fs::symlink_status(item, error))) return;  // not removed: its lock stays
    ::unlink(lock.c_str());
}

}  // namespace

OwnerLock::OwnerLock(fs::path item) : lock_(item.string() + std::string(LOCK_SUFFIX)) {
    for (;;) {
        file_ = Descriptor(::open(lock_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!file_.valid())
            throw fs::filesystem_error("cannot create", lock_, std::error_code(errno, std::generic_category()));
        if (::flock(file_.get(), LOCK_EX) != 0)
            throw fs::filesystem_error("cannot lock", lock_, std::error_code(errno, std::generic_category()));
        // A sweep may have taken the new file for a dead one's and removed it before the lock.
        if (same_file(file_.get(), lock_)) return;
        file_.reset();
    }
}

OwnerLock::~OwnerLock() { release(); }

void OwnerLock::release() noexcept {
    if (!file_.valid()) return;
    ::unlink(lock_.c_str());
    file_.reset();
}

fs::path new_item_name(const fs::path& folder, std::string_view prefix) {
    return folder / (std::string(prefix) + uuid4_hex());
}

void sweep_leftovers(const fs::path& folder, std::span<const std::string_view> prefixes,
                     const std::function<void(const fs::path&)>& before_removal) {
    std::error_code error;
    std::vector<fs::path> locks, items;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!has_prefix(name, prefixes)) continue;
        (name.ends_with(LOCK_SUFFIX) ? locks : items).push_back(it->path());
    }
    for (const fs::path& lock : locks) sweep_locked(lock, before_removal);
    // An item without a lock file has had no owner since its lock went.
    for (const fs::path& item : items) {
        std::error_code ignored;
        if (fs::exists(fs::symlink_status(item.string() + std::string(LOCK_SUFFIX), ignored))) continue;
        if (fs::exists(fs::symlink_status(item, ignored)) && ours(item)) remove_item(item, before_removal);
    }
}

}  // namespace tesmira
