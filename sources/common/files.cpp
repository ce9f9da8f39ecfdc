#include "common/files.hpp"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

#include "common/errors.hpp"

namespace tesmira {

std::string read_text_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::filesystem::filesystem_error("cannot open", path, std::error_code(errno, std::generic_category()));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::filesystem::filesystem_error("cannot read", path, std::error_code(errno, std::generic_category()));
    return text;
}

void write_text_file(const std::filesystem::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::filesystem::filesystem_error(
            "cannot open for writing", path, std::error_code(errno, std::generic_category()));
    out.write(text.data(), std::streamsize(text.size()));
    out.close();
    if (!out)
        throw std::filesystem::filesystem_error("cannot write", path, std::error_code(errno, std::generic_category()));
}

}  // namespace tesmira

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/descriptor.hpp"

namespace tesmira {
namespace {

[[noreturn]] void fail(const char* what, const std::filesystem::path& path) {
    throw std::filesystem::filesystem_error(what, path, std::error_code(errno, std::generic_category()));
}

// Writes all `size` bytes to `fd`, the file `path`.
void write_all(int fd, const char* data, std::size_t size, const std::filesystem::path& path) {
    for (std::size_t written = 0; written < size;) {
        const ssize_t w = ::write(fd, data + written, size - written);
        if (w < 0) {
            if (errno == EINTR) continue;
            fail("cannot write", path);
        }
        written += std::size_t(w);
    }
}

// A file of this process's, removed when it goes unless it was kept.
class NewFile {
public:
    explicit NewFile(std::filesystem::path path) : path_(std::move(path)) {}
    ~NewFile() {
        if (!kept_) ::unlink(path_.c_str());
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    void keep() { kept_ = true; }

private:
    std::filesystem::path path_;
    bool kept_ = false;
};

}  // namespace

TemporaryFolder::TemporaryFolder(std::string_view prefix)
    : path_(new_item_name(std::filesystem::temp_directory_path(), prefix)) {
    owner_.emplace(path_);
    make_folder(path_);
}

TemporaryFolder::~TemporaryFolder() {
    if (removed_) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void TemporaryFolder::remove() {
    std::filesystem::remove_all(path_);
    removed_ = true;
    owner_->release();
}

void rename_no_replace(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0)
        throw std::filesystem::filesystem_error(
            "cannot rename", from, to, std::error_code(errno, std::generic_category()));
}

void sync_folder(const std::filesystem::path& folder) {
    const Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) fail("cannot open", folder);
    if (::fsync(fd.get()) != 0) fail("cannot sync", folder);
}

namespace {

// Copies what a regular file holds inside the kernel, its bytes never passing through this
// process, as far as the kernel does so; the plain copy after it takes whatever is left and
// tells a failure to read from one to write.
void copy_in_kernel(int in, int out) {
    struct stat status {};
    if (::fstat(in, &status) != 0 || !S_ISREG(status.st_mode)) return;
    for (off_t left = status.st_size; left > 0;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, std::size_t(left), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        left -= n;
    }
}

}  // namespace

void copy_content(const std::filesystem::path& from, const std::filesystem::path& to, bool synced,
                  const std::function<void()>& both_open) {
    const Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) fail("cannot open", from);
    Descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out.valid()) fail("cannot create", to);
    if (both_open) both_open();
    copy_in_kernel(in.get(), out.get());
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("cannot read", from);
        }
        if (n == 0) break;
        write_all(out.get(), buffer.data(), std::size_t(n), to);
    }
    if (synced && ::fsync(out.get()) != 0) fail("cannot sync", to);
    if (::close(out.release()) != 0) fail("cannot write", to);
}

void write_file_atomically(const std::filesystem::path& path, std::string_view bytes) {
    std::string name = (path.parent_path() / ("." + path.filename().string() + "-XXXXXX")).string();
    // Created exclusively (O_EXCL): a name that exists, a planted link among them, is never opened.
    Descriptor out(::mkostemp(name.data(), O_CLOEXEC));
    if (!out.valid()) fail("cannot create a file beside", path);
    NewFile written(name);
    write_all(out.get(), bytes.data(), bytes.size(), name);
    if (::close(out.release()) != 0) fail("cannot write", name);
    if (::rename(name.c_str(), path.c_str()) != 0)
        throw std::filesystem::filesystem_error(
            "cannot rename", name, path, std::error_code(errno, std::generic_category()));
    written.keep();
}

std::string read_regular_file(const std::filesystem::path& path, std::size_t max_bytes) {
    const auto failure = [&](const char* what, int code) {
        return std::filesystem::filesystem_error(what, path, std::error_code(code, std::generic_category()));
    };
    // Non-blocking, so that opening a FIFO without a writer returns at once.
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file.valid()) throw failure("cannot open", errno);
    const int fd = file.get();
    struct stat info {};
    if (::fstat(fd, &info) != 0) throw failure("cannot read attributes", errno);
    if (S_ISDIR(info.st_mode)) throw failure("cannot read", EISDIR);
    if (!S_ISREG(info.st_mode)) throw failure("not a regular file", EINVAL);
    const std::string too_large = "larger than " + std::to_string(max_bytes) + " bytes";
    if (std::uintmax_t(info.st_size) > max_bytes) throw failure(too_large.c_str(), EFBIG);
    // Read to the end, in case the file grew since it was measured.
    std::string bytes(max_bytes + 1, '\0');
    std::size_t size = 0;
    while (size < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + size, bytes.size() - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw failure("cannot read", errno);
        if (n == 0) break;
        size += std::size_t(n);
    }
    if (size > max_bytes) throw failure(too_large.c_str(), EFBIG);
    bytes.resize(size);
    return bytes;
}

void make_folder(const std::filesystem::path& path, unsigned mode) {
    if (::mkdir(path.c_str(), mode_t(mode)) != 0) fail("cannot create folder", path);
}

std::filesystem::path absolute_path(const std::filesystem::path& path) {
    // An empty path names the working folder, as it does for the shell.
    return path.empty() ? std::filesystem::current_path() : std::filesystem::absolute(path);
}

std::filesystem::path resolved(const std::filesystem::path& path) {
    return std::filesystem::weakly_canonical(absolute_path(path));
}

std::filesystem::path output_root_folder(const std::filesystem::path& output_root) {
    std::filesystem::path root = resolved(output_root);
    if (!std::filesystem::is_directory(root)) throw UserError("ダウンロードフォルダーが見つかりません。");
    return root;
}

}  // namespace tesmira
