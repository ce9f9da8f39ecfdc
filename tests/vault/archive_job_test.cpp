#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/termination.hpp"
#include "fixtures/refusal.hpp"
#include "fixtures/temp_folder.hpp"
#include "vault/archive_job.hpp"
#include "vault/version_store.hpp"

namespace fs = std::filesystem;
using tesmira::Json;
using tesmira::UserError;
using tesmira::vault::archive_job;

namespace {

const std::string PROJECT = "0123456789abcdef0123456789abcdef";

struct Event {
    std::string name;
    Json fields;
};

std::size_t count_files(const fs::path& folder) {
    return std::size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

class ArchiveJob : public ::testing::Test {
protected:
    tesmira::fixtures::TempFolder temp;
    fs::path root = temp.path() / "archive";
    fs::path project = root / PROJECT;
    fs::path output = temp.path() / "Downloads";
    std::vector<Event> events;
    std::vector<std::pair<std::vector<fs::path>, std::vector<fs::path>>> exported;
    // What the fake export does besides recording its inputs; by default it publishes a
    // result folder with one PDF in the output root it is given, and reports it.
    using ExportAction = std::function<std::vector<fs::path>(const tesmira::Progress&, const fs::path&)>;
    ExportAction export_action = [](const tesmira::Progress& progress, const fs::path& output_root) {
        progress("start", Json{{"total", 1}});
        const fs::path folder = output_root / "てすみら検版_20261210_101112_abcdef01";
        fs::create_directory(folder);
        tesmira::write_text_file(folder / "検版_x.pdf", "pdf");
        progress("complete",
                 Json{{"output", folder.string()},
                      {"pages", Json::array()},
                      {"files", 1},
                      {"pdfs", Json::array({(folder / "検版_x.pdf").string()})}});
        return std::vector<fs::path>{folder / "検版_x.pdf"};
    };

    void SetUp() override {
        fs::create_directories(project);
        fs::create_directories(output);
        tesmira::write_text_file(project / "project.json",
                                 R"({"version": 1, "id": ")" + PROJECT + R"(", "name": "春号"})");
    }
    fs::path file(const std::string& name, const std::string& bytes) {
        fs::create_directories((temp.path() / "in" / name).parent_path());
        tesmira::write_text_file(temp.path() / "in" / name, bytes);
        return temp.path() / "in" / name;
    }
    std::vector<fs::path> run(const std::vector<fs::path>& after, bool register_baseline) {
        return archive_job(
            after,
            root,
            PROJECT,
            output,
            Json{{"dpi", 144}},
            register_baseline,
            [this](const std::vector<fs::path>& before,
                   const std::vector<fs::path>& after_copies,
                   const fs::path& output_root,
                   const Json&,
                   const tesmira::Progress& progress) {
                exported.emplace_back(before, after_copies);
                return export_action(progress, output_root);
            },
            [](const fs::path&, const fs::path&, const Json&) {},
            [this](const std::string& event, const Json& fields) {
                events.push_back({event, fields});
            });
    }
    std::string refusal(const std::vector<fs::path>& after, bool register_baseline) {
        return tesmira::fixtures::refusal([&] { run(after, register_baseline); });
    }
    bool terminate_during_export() {
        tesmira::install_termination_handler();
        export_action = [base = export_action](const tesmira::Progress& progress, const fs::path& output_root) {
            auto pdfs = base(progress, output_root);
            std::raise(SIGTERM);
            return pdfs;
        };
        bool terminated = false;
        try {
            run({file("new/a.pdf", "A2")}, false);
        } catch (const tesmira::TerminationRequested&) {
            terminated = true;
        }
        return terminated && count_files(output) == 0 && revisions() == 1 && count_files(project / "versions") == 1;
    }
    std::size_t revisions() {
        tesmira::vault::Vault store(root, PROJECT);
        return std::stoul(store.db().query("SELECT count(*) FROM revisions", {})->front());
    }
};

}  // namespace

TEST_F(ArchiveJob, InputChecksComeBeforeTheProjectIsOpened) {
    const fs::path big = file("big.pdf", "");
    fs::resize_file(big, 60LL * 1024 * 1024 + 1);
    std::vector<fs::path> many;
    for (int i = 0; i < 101; ++i) many.push_back(file(std::to_string(i) + ".pdf", "x"));
    struct Case {
        std::vector<fs::path> after;
        std::string message;
    } cases[] = {
        {{}, "新しいPDFを1〜100ファイル選択してください。"},
        {many, "新しいPDFを1〜100ファイル選択してください。"},
        {{file("a/Plan.pdf", "1"), file("b/plan.PDF", "2")},
         "同名または大文字小文字だけが異なるPDFが重複しています。取り違え防止のため処理しません。"},
        {{file("same.pdf", "1"), temp.path() / "in/same.pdf"},
         "同名または大文字小文字だけが異なるPDFが重複しています。取り違え防止のため処理しません。"},
        {{file("note.txt", "1")}, "保存版の原稿名は制御文字を含まないPDF名にしてください。"},
        {{temp.path() / "missing.pdf"}, "各PDFは60MB以内にしてください。"},
        {{big}, "各PDFは60MB以内にしてください。"},
    };
    fs::remove_all(root);
    for (const Case& c : cases) {
        EXPECT_EQ(refusal(c.after, true), c.message);
        EXPECT_FALSE(fs::exists(root)) << "nothing is created, not even the archive root";
    }
    EXPECT_TRUE(events.empty());
}

TEST_F(ArchiveJob, SizeLimitsAreInclusive) {
    // Exactly 60 MiB each and exactly 2 GiB in all pass the checks; the uppercase project id
    // then stops the run at the project, before any copy.
    std::vector<fs::path> files;
    for (int i = 0; i < 34; ++i) {
        files.push_back(file("s" + std::to_string(i) + ".pdf", ""));
        fs::resize_file(files.back(), 60LL * 1024 * 1024);
    }
    files.push_back(file("rest.pdf", ""));
    fs::resize_file(files.back(), 8LL * 1024 * 1024);
    const auto attempt = [&] {
        try {
            archive_job(files,
                        root,
                        "0123456789ABCDEF0123456789ABCDEF",
                        output,
                        Json::object(),
                        true,
                        nullptr,
                        nullptr,
                        nullptr);
        } catch (const UserError& error) {
            return std::string(error.what());
        }
        return std::string();
    };
    EXPECT_EQ(attempt(), "保存版の案件を選択してください。");
    fs::resize_file(files.back(), 8LL * 1024 * 1024 + 1);
    EXPECT_EQ(attempt(), "PDFの合計は2GB以内にしてください。");
}

TEST_F(ArchiveJob, RegisterStoresAndReportsOnlyArchiveSaved) {
    EXPECT_TRUE(run({file("a.pdf", "A1"), file("b.pdf", "B1")}, true).empty());
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "archive_saved");
    EXPECT_EQ(events[0].fields.dump(), R"({"count":2,"project":"春号"})");
    EXPECT_TRUE(exported.empty());
    EXPECT_EQ(count_files(project / "versions"), 2u);

    events.clear();
    EXPECT_EQ(refusal({file("c.pdf", "C1"), file("a.pdf", "A2"), file("d.pdf", "D1")}, true),
              "「a.pdf」は登録済みです。初回登録では上書きせず、保存版と比較してください。");
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(count_files(project / "versions"), 2u);
    EXPECT_EQ(revisions(), 2u);
}

TEST_F(ArchiveJob, CompareExportsPrivateCopiesThenStoresTheNewVersions) {
    run({file("old/a.pdf", "A1"), file("old/b.pdf", "B1")}, true);
    events.clear();
    const auto result = run({file("new/b.pdf", "B1"), file("new/a.pdf", "A2")}, false);
    ASSERT_EQ(exported.size(), 1u);
    const auto& [before, after] = exported.front();
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[0].filename(), "b.pdf");
    EXPECT_EQ(after[1].filename(), "a.pdf");
    EXPECT_NE(after[1].parent_path(), (temp.path() / "in/new")) << "the export sees copies only";
    EXPECT_EQ(result.size(), 1u);

    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].name, "start");
    EXPECT_EQ(events[1].name, "complete");
    std::vector<std::string> keys;
    for (const auto& item : events[1].fields.items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"output", "pages", "files", "pdfs", "archive_updated", "project"}));
    EXPECT_EQ(events[1].fields["archive_updated"], true);
    // b.pdf was byte-identical: compared, but not stored again.
    EXPECT_EQ(revisions(), 3u);
    tesmira::vault::Vault store(root, PROJECT);
    EXPECT_EQ(tesmira::read_text_file(store.latest("a.pdf")->first), "A2");

    EXPECT_EQ(
        refusal({file("new/z.pdf", "Z")}, false),
        "この案件には「z.pdf」の保存版がありません。初回原稿として登録してください。別案件・別名からは探しません。");
}

TEST_F(ArchiveJob, AFailureAfterTheExportRollsEverythingBack) {
    run({file("old/a.pdf", "A1"), file("old/b.pdf", "B1")}, true);
    // A stranger's folder in the output root, and a published folder outside it, stay.
    fs::create_directory(output / "てすみら検版_20260101_000000_deadbeef");
    tesmira::fixtures::TempFolder elsewhere;
    const fs::path foreign = elsewhere.path() / "てすみら検版_20261210_101112_abcdef02";
    export_action = [&, base = export_action](const tesmira::Progress& progress, const fs::path& output_root) {
        auto pdfs = base(progress, output_root);
        fs::create_directory(foreign);
        pdfs.push_back(foreign / "x.pdf");
        // Someone edits the saved version of b.pdf while the run compares.
        tesmira::vault::Vault store(root, PROJECT);
        tesmira::write_text_file(store.latest("b.pdf")->first, "edited");
        return pdfs;
    };
    events.clear();
    EXPECT_EQ(refusal({file("new/a.pdf", "A2"), file("new/b.pdf", "B2")}, false),
              "保存版「b.pdf」が変更・削除されています。自動で別原稿には切り替えません。");
    EXPECT_FALSE(fs::exists(output / "てすみら検版_20261210_101112_abcdef01")) << "the run's result folder is removed";
    EXPECT_TRUE(fs::exists(output / "てすみら検版_20260101_000000_deadbeef"));
    EXPECT_TRUE(fs::exists(foreign)) << "only folders directly in the output root are removed";
    EXPECT_EQ(count_files(project / "versions"), 2u) << "a.pdf's new version file is deleted";
    EXPECT_EQ(revisions(), 2u);
    for (const Event& event : events) EXPECT_NE(event.name, "complete");
}

TEST_F(ArchiveJob, ACommitThatFailsRemovesTheResultItPublished) {
    run({file("old/a.pdf", "A1")}, true);
    // A reader holds the history from the export on, so the commit finds it busy and fails
    // after the result has moved into the output root.
    std::optional<tesmira::vault::Vault> reader;
    export_action = [&, base = export_action](const tesmira::Progress& progress, const fs::path& output_root) {
        reader.emplace(root, PROJECT);
        reader->db().execute("BEGIN");
        reader->db().query("SELECT count(*) FROM revisions", {});
        return base(progress, output_root);
    };
    events.clear();
    EXPECT_THROW(run({file("new/a.pdf", "A2")}, false), tesmira::vault::SqliteError);
    reader.reset();
    EXPECT_TRUE(count_files(output) == 0) << "the published result is removed again";
    EXPECT_EQ(count_files(project / "versions"), 1u);
    EXPECT_EQ(revisions(), 1u);
    for (const Event& event : events) EXPECT_NE(event.name, "complete");
}

TEST_F(ArchiveJob, TerminationUnwindsThroughTheSameCleanUp) {
    run({file("old/a.pdf", "A1")}, true);
    // SIGTERM arrives while the export runs; the run stops at its next safe point, after the
    // export has published. Checked in a child process, since the flag stays set.
    EXPECT_EXIT(std::exit(terminate_during_export() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST_F(ArchiveJob, AFileThatChangesWhileCopiedIsRefused) {
    // The kernel reports size 0 for this file but delivers bytes when it is read.
    fs::create_symlink("/proc/self/status", temp.path() / "moving.pdf");
    EXPECT_EQ(refusal({temp.path() / "moving.pdf"}, true),
              "「moving.pdf」が読込中に変更されました。保存が完了してから再試行してください。");
    EXPECT_EQ(count_files(project / "versions"), 0u);
}

TEST_F(ArchiveJob, ABusyProjectIsRefusedAfterWaitingForItsLock) {
    run({file("old/a.pdf", "A1")}, true);
    // The holder lets go only at the end of the test: the refusal comes while it holds the lock.
    tesmira::vault::Vault holder(root, PROJECT);
    holder.db().execute("BEGIN IMMEDIATE");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(refusal({file("new/a.pdf", "A2")}, false),
              "この案件は別の検版で使用中です。完了してから再試行してください。");
    // It waited the second that a run gives the other one (a slower machine only waits longer).
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));
    EXPECT_TRUE(exported.empty());
}

TEST_F(ArchiveJob, AProjectWhoseHistoryIsGoneIsRefusedForEitherRun) {
    run({file("old/a.pdf", "A1")}, true);
    fs::remove(project / "history.sqlite3");
    events.clear();
    const std::string missing =
        "この案件の保存履歴（history.sqlite3）がありません。保存済みの版を守るため、履歴を作り直さずに中止しました。"
        "バックアップから戻してください。";
    EXPECT_EQ(refusal({file("new/b.pdf", "B1")}, true), missing) << "registering";
    EXPECT_EQ(refusal({file("new/a.pdf", "A2")}, false), missing) << "comparing";
    EXPECT_FALSE(fs::exists(project / "history.sqlite3")) << "never made anew";
    EXPECT_EQ(count_files(project / "versions"), 1u);
    EXPECT_TRUE(events.empty());
}
