#pragma once
#include <filesystem>
#include <system_error>

namespace tesmira::conductor {

// Removes a folder with everything in it when the scope is left, unless it was dismissed
// once the folder has been published under its final name.
class RemovalGuard {
public:
    explicit RemovalGuard(std::filesystem::path path) : path_(std::move(path)) {}
    ~RemovalGuard() {
        if (armed_) {
            std::error_code ignored;
            if (std::filesystem::is_directory(std::filesystem::symlink_status(path_, ignored)))
                std::filesystem::remove_all(path_, ignored);
        }
    }
    RemovalGuard(const RemovalGuard&) = delete;
    RemovalGuard& operator=(const RemovalGuard&) = delete;
    void dismiss() { armed_ = false; }

private:
    std::filesystem::path path_;
    bool armed_ = true;
};

}  // namespace tesmira::conductor
