#pragma once
#include <array>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "common/descriptor.hpp"

namespace tesmira {

// Items (folders and files) that a run makes among other people's things, in the temporary
// folder, in an output root or in an archive project, and removes when it ends, are owned
// through a lock that dies with the process: an flock on the file "<item>.lock", taken before
// the item is made and given back after it is removed. So a later run can tell what a killed
// run left behind from what a live one is using.

// What the worker makes in the system's temporary folder: a pair's job folder, the staging
// folder of a multi-file batch, the copies of an archive run; and what the window makes there:
// the compared PDFs and the old and new views of its results; and the output root of a
// tesmira-compare run that keeps no result. The folder of a flat PDF export is what earlier
// versions made; it is still swept.
inline constexpr std::string_view JOB_FOLDER = "tesmira-proof-";
inline constexpr std::string_view EXPORT_FOLDER = "tesmira-pdf-export-";
inline constexpr std::string_view STAGING_FOLDER = "tesmira-multiple-";
inline constexpr std::string_view ARCHIVE_COPIES = "tesmira-archive-";
inline constexpr std::string_view VIEW_CACHE = "tesmira-views-";
inline constexpr std::string_view UNKEPT_RESULTS = "tesmira-compare-";
inline constexpr std::array TEMPORARY_ITEMS{
    JOB_FOLDER, EXPORT_FOLDER, STAGING_FOLDER, ARCHIVE_COPIES, VIEW_CACHE, UNKEPT_RESULTS};

// What it makes in an output root, hidden: a result folder built before its one rename, and an
// archive run's result until the archive has committed it; an image folder is what earlier
// versions built there, still swept.
inline constexpr std::string_view PARTIAL_IMAGES = ".tesmira-part-";
inline constexpr std::string_view PARTIAL_RESULT = ".tesmira-pdf-";
inline constexpr std::string_view UNCOMMITTED_RESULT = ".tesmira-archive-";
inline constexpr std::array OUTPUT_ROOT_ITEMS{PARTIAL_IMAGES, PARTIAL_RESULT, UNCOMMITTED_RESULT};

// The lock of one item, held while it lives.
class OwnerLock {
public:
    // Creates "<item>.lock" (never through a link, failing when it exists) and locks it.
    explicit OwnerLock(std::filesystem::path item);
    ~OwnerLock();  // release(), silently
    OwnerLock(const OwnerLock&) = delete;
    OwnerLock& operator=(const OwnerLock&) = delete;

    // Removes the lock file and gives the lock back: once the item is removed or moved away.
    void release() noexcept;
    // The lock file, open and locked, for an owner that keeps a record in it.
    int descriptor() const { return file_.get(); }

private:
    std::filesystem::path lock_;
    Descriptor file_;
};

// A name for a new item in `folder`: `prefix` and 32 random hexadecimal digits.
std::filesystem::path new_item_name(const std::filesystem::path& folder, std::string_view prefix);

// Removes from `folder` the items of this user whose names begin with one of `prefixes` and
// whose owner is gone, with their lock files: an item whose lock no live process holds, and
// an item without a lock file. `before_removal`, when given, sees each such item first (it may
// be a lock file alone, the item being gone). Nothing a live owner holds is touched. Failures
// are silent: what cannot be removed stays for a later sweep.
void sweep_leftovers(const std::filesystem::path& folder, std::span<const std::string_view> prefixes,
                     const std::function<void(const std::filesystem::path&)>& before_removal = {});

}  // namespace tesmira
