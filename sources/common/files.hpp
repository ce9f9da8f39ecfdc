#pragma once
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/owned_items.hpp"

namespace tesmira {

// The whole file as bytes; failures name the file and the reason.
std::string read_text_file(const std::filesystem::path& path);

// The whole file as bytes, for a file from the user's folders that may be anything: it is
// read only when it is a regular file of at most `max_bytes`. A FIFO, a device, a folder or a
// larger file fails at once (nothing blocks), naming the file and the reason.
std::string read_regular_file(const std::filesystem::path& path, std::size_t max_bytes);

// Writes the bytes to `path`, replacing what was there; failures name the file and the reason.
void write_text_file(const std::filesystem::path& path, std::string_view text);

}  // namespace tesmira

namespace tesmira {

// A new folder "<prefix><random>" in the system's temporary location (mode 0700), removed
// with everything in it when this object goes. It is owned through an OwnerLock
// (owned_items.hpp), so that what a killed process leaves is swept by a later one.
class TemporaryFolder {
public:
    explicit TemporaryFolder(std::string_view prefix);
    ~TemporaryFolder();  // silent: it also runs while a failure unwinds
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Removes the folder now; a failure to remove it is reported.
    void remove();

private:
    std::filesystem::path path_;
    std::optional<OwnerLock> owner_;
    bool removed_ = false;
};

// Gives `from` the name `to` in one step, never replacing anything already called `to`
// (an existing name fails with EEXIST).
void rename_no_replace(const std::filesystem::path& from, const std::filesystem::path& to);

// Forces a folder's entries to disk, so that files just created in it survive a power cut.
void sync_folder(const std::filesystem::path& folder);

// Copies the bytes of `from` into a new file `to` (created exclusively, mode 0600, never
// through a link); no metadata. With `synced` the copy is forced to disk before it closes.
// `both_open` runs as soon as both files are open, so that a caller can track the new file
// for its clean-up before a byte is written.
void copy_content(const std::filesystem::path& from, const std::filesystem::path& to, bool synced = false,
                  const std::function<void()>& both_open = {});

// Writes `bytes` as the file `path`, whole or not at all: into a new private file beside it
// (created exclusively, mode 0600, so never through a link), which is then renamed over
// `path`. The new file is removed on every failure; failures name the file and the reason.
void write_file_atomically(const std::filesystem::path& path, std::string_view bytes);

// Creates one folder with the given mode; fails when the name exists or the parent is missing.
void make_folder(const std::filesystem::path& path, unsigned mode = 0700);

// Absolute against the working folder, without resolving links; "" is the working folder.
std::filesystem::path absolute_path(const std::filesystem::path& path);

// Absolute, with symbolic links resolved as far as the path exists.
std::filesystem::path resolved(const std::filesystem::path& path);

// The folder that receives results, resolved; refused with "ダウンロードフォルダーが見つかりません。"
// when it is no folder.
std::filesystem::path output_root_folder(const std::filesystem::path& output_root);

}  // namespace tesmira
