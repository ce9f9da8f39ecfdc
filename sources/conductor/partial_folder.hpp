#pragma once
#include <filesystem>
#include <string>
#include <system_error>

#include "common/files.hpp"
#include "common/random_id.hpp"

namespace tesmira::conductor {

// A hidden folder "<prefix><32 hex digits>" (mode 0700) in which a result is built. It gets
// its final name by one rename that never replaces anything; until then, whatever ends the
// scope (a failure, SIGTERM unwinding) removes it with everything in it.
class PartialFolder {
public:
    PartialFolder(const std::filesystem::path& parent, const std::string& prefix)
        : path_(parent / (prefix + uuid4_hex())) {
        make_folder(path_);
    }
    ~PartialFolder() {
        if (published_) return;
        std::error_code ignored;
        if (std::filesystem::is_directory(std::filesystem::symlink_status(path_, ignored)))
            std::filesystem::remove_all(path_, ignored);
    }
    PartialFolder(const PartialFolder&) = delete;
    PartialFolder& operator=(const PartialFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    void publish(const std::filesystem::path& final_path) {
        rename_no_replace(path_, final_path);
        published_ = true;
    }

private:
    std::filesystem::path path_;
    bool published_ = false;
};

}  // namespace tesmira::conductor
