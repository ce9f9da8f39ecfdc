#include "conductor/failure_message.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <functional>
#include <new>
#include <system_error>

#include "pdf/mupdf_document.hpp"
#include "vault/sqlite_database.hpp"

namespace fs = std::filesystem;
using tesmira::conductor::failure_message;
using tesmira::conductor::RunFolders;

namespace {

const RunFolders FOLDERS{"/home/a/Downloads", "/tmp", fs::path("/home/a/てすみら保存版")};

std::string told(const std::function<void()>& fail) {
    try {
        fail();
    } catch (const std::exception& failure) {
        return failure_message(failure, FOLDERS);
    }
    return "no failure";
}

fs::filesystem_error file_error(int number, const fs::path& path) {
    return fs::filesystem_error("cannot write", path, std::error_code(number, std::generic_category()));
}

}  // namespace

TEST(FailureMessage, FullDisksUnwritableFoldersAndMemoryAreToldInJapanese) {
    const std::string full = "の空き容量が足りません。（No space left on device）";
    const struct {
        std::string what;
        std::function<void()> fail;
        std::string message;
    } cases[] = {
        {"a staged file in the output root",
         [] { throw file_error(ENOSPC, "/home/a/Downloads/.tesmira-pdf-0123/.tesmira-4567.pdf"); },
         "保存先「/home/a/Downloads」" + full},
        {"a job folder",
         [] { throw file_error(ENOSPC, "/tmp/tesmira-proof-0123/before.pdf"); },
         "一時フォルダー「/tmp」" + full},
        {"a version file",
         [] { throw file_error(EDQUOT, "/home/a/てすみら保存版/0123/versions/4567.pdf"); },
         "保存版フォルダー「/home/a/てすみら保存版」の空き容量が足りません。（Disk quota exceeded）"},
        {"a read-only output root",
         [] { throw file_error(EROFS, "/home/a/Downloads/.tesmira-pdf-0123.lock"); },
         "保存先「/home/a/Downloads」に書き込めません。（Read-only file system）"},
        {"an output root the run may not write",
         [] { throw file_error(EACCES, "/home/a/Downloads/.tesmira-pdf-0123.lock"); },
         "保存先「/home/a/Downloads」に書き込めません。（Permission denied）"},
        {"somewhere else", [] { throw file_error(ENOSPC, "/mnt/x/y.pdf"); }, "「/mnt/x」" + full},
        {"without a path",
         [] { throw std::system_error(ENOSPC, std::generic_category(), "standard output"); },
         "ディスクの空き容量が足りません。（standard output: No space left on device）"},
        {"no memory", [] { throw std::bad_alloc(); }, "メモリが足りないため処理できませんでした。（std::bad_alloc）"},
        {"OpenCV's",
         [] { cv::error(cv::Error::StsNoMem, "Failed to allocate 9 bytes", "f", "a.cpp", 1); },
         "メモリが足りないため処理できませんでした。（Failed to allocate 9 bytes）"},
        {"MuPDF's refusal of one allocation beyond its limit",
         [] {
             tesmira::pdf::MupdfContext mupdf;
             mupdf.run([&] { fz_free(mupdf.get(), fz_malloc(mupdf.get(), (std::size_t(1) << 30) + 1)); });
         },
         "メモリが足りないため処理できませんでした。（malloc of 1073741825 bytes failed）"},
        {"a full history",
         [] { throw tesmira::vault::SqliteError("database or disk is full", SQLITE_FULL); },
         "保存版フォルダー「/home/a/てすみら保存版」の空き容量が足りません。（database or disk is full）"},
        // Failures that are not these keep their own text.
        {"an input that cannot be read, inside the output root",
         [] { throw file_error(EACCES, "/home/a/Downloads/old/a.pdf"); },
         "filesystem error: cannot write: Permission denied [/home/a/Downloads/old/a.pdf]"},
        {"another MuPDF failure", [] { throw tesmira::pdf::MupdfError("cannot find page 9"); }, "cannot find page 9"},
        {"a refusal", [] { throw std::runtime_error("解像度を確認してください。"); }, "解像度を確認してください。"},
    };
    for (const auto& c : cases) EXPECT_EQ(told(c.fail), c.message) << c.what;
}
