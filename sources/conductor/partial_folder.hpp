#pragma once
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#include "common/files.hpp"
#include "common/owned_items.hpp"

namespace tesmira::conductor {

// A hidden folder "<prefix><32 hex digits>" (mode 0700) in which a result is built. It gets
// its final name by one rename that never replaces anything, or it is removed with
// everything in it. It is owned through an OwnerLock (owned_items.hpp), so that what a killed
// process leaves is swept by a later one.
class PartialFolder {
public:
    PartialFolder(const std::filesystem::path& parent, std::string_view prefix)
        : path_(new_item_name(parent, prefix)), owner_(path_) {
        make_folder(path_);
    }
    // The last resort, for a way out that did not pass through fill(): silent, as it may run
    // while a failure unwinds.
    ~PartialFolder() {
        if (settled_) return;
        std::error_code ignored;
        if (std::filesystem::is_directory(std::filesystem::symlink_status(path_, ignored)))
            std::filesystem::remove_all(path_, ignored);
    }
    PartialFolder(const PartialFolder&) = delete;
    PartialFolder& operator=(const PartialFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Runs the steps that fill the folder and publish it. Whatever ends them early (a failure,
    // SIGTERM unwinding) removes the folder there and then; if that removal fails, its error
    // passes up instead of the first one.
    template <class Steps>
    decltype(auto) fill(Steps&& steps) {
        try {
            return std::forward<Steps>(steps)();
        } catch (...) {
            remove();
            throw;
        }
    }

    void publish(const std::filesystem::path& final_path) {
        rename_no_replace(path_, final_path);
        settled_ = true;
        owner_.release();
    }

private:
    // Removes the folder with everything in it, if it is still a folder (never through a
    // link); a failure is reported.
    void remove() {
        if (settled_) return;
        settled_ = true;
        if (std::filesystem::is_directory(std::filesystem::symlink_status(path_))) std::filesystem::remove_all(path_);
    }

    std::filesystem::path path_;
    OwnerLock owner_;
    bool settled_ = false;  // published, or its removal was tried
};

}  // namespace tesmira::conductor
