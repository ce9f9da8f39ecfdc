// A full disk and a folder that cannot be written reach the operator in Japanese, naming the
// operator's own folder and never the run's hidden items in it; the run leaves nothing behind.
#include "worker_process.hpp"

namespace fs = std::filesystem;

namespace tesmira::worker_tests {
namespace {

class SystemMessages : public WorkerTest {
protected:
    Outcome run_with(const std::string& variable, const fs::path& folder) {
        write_sample_pdf(box.input("old.pdf"), 2, 0);
        write_sample_pdf(box.input("new.pdf"), 2, 1);
        std::string sanitizer = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
        WorkerProcess worker(comparison({box.input("old.pdf")}, {box.input("new.pdf")}),
                             box.temporary(),
                             std::chrono::seconds(120),
                             {"LD_PRELOAD=" TESMIRA_FAILING_FOLDERS_LIBRARY,
                              variable + "=" + folder.string(),
                              "ASAN_OPTIONS=" + sanitizer + ":verify_asan_link_order=0"});
        return worker.finish();
    }
};

}  // namespace

TEST_F(SystemMessages, AFullDiskOrAReadOnlyFolderIsToldWithTheOperatorsFolder) {
    const struct {
        std::string variable;
        fs::path folder;
        std::string message;
    } cases[] = {
        {"TESMIRA_FULL_FOLDER",
         box.output(),
         "保存先「" + box.output().string() + "」の空き容量が足りません。（No space left on device）"},
        {"TESMIRA_READ_ONLY_FOLDER",
         box.output(),
         "保存先「" + box.output().string() + "」に書き込めません。（Read-only file system）"},
        {"TESMIRA_FULL_FOLDER",
         box.temporary(),
         "一時フォルダー「" + box.temporary().string() + "」の空き容量が足りません。（No space left on device）"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variable + " " + c.folder.string());
        const Outcome run = run_with(c.variable, c.folder);
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_EQ(run.last()["event"], "error");
        EXPECT_EQ(run.last()["message"], c.message);
        EXPECT_EQ(entries(box.output()), std::set<std::string>{});
        EXPECT_EQ(entries(box.temporary()), std::set<std::string>{});
    }
}

}  // namespace tesmira::worker_tests
