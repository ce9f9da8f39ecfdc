#pragma once
#include <filesystem>
#include <string_view>

namespace tesmira::fuzz {

// The fuzz input as a file for code that opens its input by name: an anonymous file in
// memory, reached through /proc, so that nothing is written to disk or left behind.
class InputFile {
public:
    explicit InputFile(std::string_view bytes);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    int fd_ = -1;
    std::filesystem::path path_;
};

}  // namespace tesmira::fuzz
