// The worker takes its stamp images from its own prefix only: a "share/tesmira/references/"
// planted in a folder above a copy of the programs (as anyone may in /tmp) is never used, and
// without its own the run is refused with a message.
#include <unistd.h>

#include "worker_process.hpp"

namespace fs = std::filesystem;

namespace tesmira::worker_tests {
namespace {

const fs::path BUILD_TREE = fs::path(TESMIRA_WORKER).parent_path().parent_path().parent_path();

// The build's stamp images copied to `share/tesmira/references` below `folder`.
void copy_stamps(const fs::path& folder) {
    const fs::path to = folder / "share/tesmira/references";
    fs::create_directories(to.parent_path());
    fs::copy(BUILD_TREE / "share/tesmira/references", to, fs::copy_options::recursive);
}

// A hard link where the file system allows one, a copy otherwise.
void place(const fs::path& from, const fs::path& to) {
    fs::create_directories(to.parent_path());
    std::error_code linked;
    fs::create_hard_link(from, to, linked);
    if (linked) fs::copy_file(from, to);
}

}  // namespace

TEST_F(WorkerTest, StampsComeFromTheProgramsOwnPrefixOnly) {
    const fs::path above = box.inputs() / "above", prefix = above / "copy";
    place(TESMIRA_WORKER, prefix / "libexec/tesmira/TesmiraWorker");
    place(BUILD_TREE / "lib/tesmira/libtesmira.so", prefix / "lib/tesmira/libtesmira.so");
    copy_stamps(above);
    for (const char* side : {"old", "new"}) fs::create_directory(box.input(side));
    write_sample_pdf(box.input("old/a.pdf"), 1, 0);
    write_sample_pdf(box.input("new/a.pdf"), 1, 1);
    const auto line = comparison({box.input("old/a.pdf")}, {box.input("new/a.pdf")}, R"({"dpi": 144, "stamp": true})");
    const std::string copy = (prefix / "libexec/tesmira/TesmiraWorker").string();

    const Outcome planted = box.run_program(copy, line);
    EXPECT_EQ(planted.status, 1) << planted.out << planted.err;
    EXPECT_EQ(
        planted.last(),
        Json({{"event", "error"}, {"message", "刻印の画像が見つかりません。アプリを再インストールしてください。"}}));
    EXPECT_EQ(entries(box.output()), std::set<std::string>{});

    copy_stamps(prefix);
    const Outcome own = box.run_program(copy, line);
    EXPECT_EQ(own.status, 0) << own.out << own.err;
    EXPECT_EQ(own.names().back(), "complete");
}

}  // namespace tesmira::worker_tests
