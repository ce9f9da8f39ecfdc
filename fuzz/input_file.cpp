#include "input_file.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace tesmira::fuzz {

InputFile::InputFile(std::string_view bytes) : fd_(::memfd_create("fuzz-input", MFD_CLOEXEC)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "memfd_create");
    for (std::size_t written = 0; written < bytes.size();) {
        const ssize_t n = ::write(fd_, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd_);
            throw std::system_error(error, std::generic_category(), "write");
        }
        written += std::size_t(n);
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
}

InputFile::~InputFile() { ::close(fd_); }

}  // namespace tesmira::fuzz
