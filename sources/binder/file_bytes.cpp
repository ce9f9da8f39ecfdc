#include "binder/file_bytes.hpp"

#include <cerrno>
#include <system_error>

namespace tesmira::binder {

std::ifstream open_for_reading(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::filesystem::filesystem_error("cannot open", path, std::error_code(errno, std::generic_category()));
    }
    return file;
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream file = open_for_reading(path);
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(0);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (size < 0 || !file.read(bytes.data(), size)) {
        throw std::filesystem::filesystem_error("cannot read", path, std::make_error_code(std::errc::io_error));
    }
    return bytes;
}

}  // namespace tesmira::binder
