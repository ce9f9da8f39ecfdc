#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "fixtures/refusal.hpp"
#include "fixtures/temp_folder.hpp"
#include "vault/document_name.hpp"
#include "vault/sqlite_database.hpp"
#include "vault/version_store.hpp"

namespace fs = std::filesystem;
using tesmira::UserError;
using tesmira::vault::canonical_name;
using tesmira::vault::digest;
using tesmira::vault::Vault;

namespace {

const std::string PROJECT = "0123456789abcdef0123456789abcdef";

void write(const fs::path& path, const std::string& bytes) { tesmira::write_text_file(path, bytes); }

unsigned mode_of(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

using tesmira::fixtures::refusal;

std::size_t count_files(const fs::path& folder) {
    return std::size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

class VersionStore : public ::testing::Test {
protected:
    tesmira::fixtures::TempFolder temp;
    fs::path root = temp.path() / "てすみら保存版";
    fs::path project = root / PROJECT;
    void SetUp() override {
        fs::create_directories(project);
        write(project / "project.json", R"({"version": 1, "id": ")" + PROJECT + R"(", "name": "春号"})");
    }
    fs::path file(const std::string& name, const std::string& bytes) {
        write(temp.path() / name, bytes);
        return temp.path() / name;
    }
    // Stores files in one committed transaction, as a run does.
    void store_committed(const std::vector<std::pair<std::string, fs::path>>& files) {
        Vault store(root, PROJECT);
        store.db().execute("BEGIN IMMEDIATE");
        std::vector<fs::path> created;
        for (const auto& [name, path] : files) store.append(name, path, created);
        store.db().execute("COMMIT");
    }
};

}  // namespace

TEST(DocumentName, KeepsCaseComposesAndRefusesControls) {
    EXPECT_EQ(canonical_name("/a/b/Plan.PDF"), "Plan.PDF");
    EXPECT_EQ(canonical_name("/a/\u304B\u3099.pdf"), "\u304C.pdf");
    const std::string refused = "保存版の原稿名は制御文字を含まないPDF名にしてください。";
    for (const char* name : {"/a/plan.pdf.txt", "/a/pl\u200Ban.pdf", "/a/pl\tan.pdf", "/a/plan", "/a/\uE000.pdf"})
        EXPECT_EQ(refusal([&] { canonical_name(name); }), refused) << name;
}

TEST(DocumentName, DigestIsTheSha256OfTheBytes) {
    tesmira::fixtures::TempFolder temp;
    write(temp.path() / "empty", "");
    EXPECT_EQ(digest(temp.path() / "empty"), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    write(temp.path() / "mib", std::string(1 << 20, 'a'));  // exactly one chunk
    EXPECT_EQ(digest(temp.path() / "mib"), "9bc1b2a288b26af7257a36277ae3816a7d4f16e89c1e7e77d0a5c48bad62b360");
}

TEST_F(VersionStore, OpeningPreparesTheProjectAndKeepsItsRows) {
    fs::permissions(root, fs::perms(0755));
    {
        Vault store(root, PROJECT);
        EXPECT_EQ(store.project_name(), "春号");
        EXPECT_EQ(mode_of(root), 0700u);
        EXPECT_EQ(mode_of(project / "versions"), 0700u);
        EXPECT_EQ(mode_of(project / "history.sqlite3"), 0600u);
        EXPECT_FALSE(store.latest("a.pdf"));
    }
    store_committed({{"a.pdf", file("a.pdf", "first")}});
    Vault reopened(root, PROJECT);
    ASSERT_TRUE(reopened.latest("a.pdf"));
    EXPECT_EQ(reopened.latest("a.pdf")->second, digest(temp.path() / "a.pdf"));
    EXPECT_FALSE(reopened.latest("A.pdf")) << "names differing in case are different documents";
}

TEST_F(VersionStore, RefusalsInTheirOrder) {
    const auto open = [&](const fs::path& r, const std::string& p) { return [=] { Vault store(r, p); }; };
    EXPECT_EQ(refusal(open(root, "0123456789ABCDEF0123456789ABCDEF")), "保存版の案件を選択してください。");
    EXPECT_EQ(refusal(open(root, "short")), "保存版の案件を選択してください。");

    fs::create_symlink(root, temp.path() / "linked-root");
    EXPECT_EQ(refusal(open(temp.path() / "linked-root", PROJECT)),
              "保存版フォルダーをシンボリックリンクにはできません。");

    const std::string other = "ffffffffffffffffffffffffffffffff";
    EXPECT_EQ(refusal(open(root, other)), "選択した保存版の案件がありません。");
    fs::create_directory_symlink(project, root / other);
    EXPECT_EQ(refusal(open(root, other)), "選択した保存版の案件がありません。") << "a linked project folder";

    struct Case {
        std::string json;
        std::string message;
    } records[] = {
        {R"({"version": 2, "id": ")" + PROJECT + R"(", "name": "x"})", "案件情報を確認できません。"},
        {R"({"version": 1, "id": "other", "name": "x"})", "案件情報を確認できません。"},
        {R"({"version": 1, "id": ")" + PROJECT + R"(", "name": 5})", "案件情報を確認できません。"},
        {R"([1])", "案件情報を確認できません。"},
        {R"({"version": 1.0, "id": ")" + PROJECT + R"(", "name": "x", "extra": true})", tesmira::fixtures::NO_REFUSAL},
    };
    for (const Case& c : records) {
        write(project / "project.json", c.json);
        EXPECT_EQ(refusal(open(root, PROJECT)), c.message) << c.json;
    }
    fs::remove(project / "project.json");
    fs::create_symlink(temp.path() / "elsewhere.json", project / "project.json");
    EXPECT_EQ(refusal(open(root, PROJECT)), "案件情報のリンクは使用できません。");
}

TEST_F(VersionStore, AProjectRecordThatIsNoRegularFileFailsAtOnce) {
    // A FIFO would block the worker where SIGTERM cannot reach it; a huge file would fill memory.
    fs::remove(project / "project.json");
    ASSERT_EQ(::mkfifo((project / "project.json").c_str(), 0600), 0);
    EXPECT_THROW(Vault(root, PROJECT), fs::filesystem_error);
    fs::remove(project / "project.json");
    write(project / "project.json",
          R"({"version": 1, "id": ")" + PROJECT + R"(", "name": "x"})" + std::string(1 << 20, ' '));
    EXPECT_THROW(Vault(root, PROJECT), fs::filesystem_error);
}

TEST_F(VersionStore, LinkedVersionsOrHistoryAreRefused) {
    fs::create_directory(temp.path() / "elsewhere");
    fs::create_directory_symlink(temp.path() / "elsewhere", project / "versions");
    EXPECT_EQ(refusal([&] { Vault store(root, PROJECT); }), "保存版のリンクは使用できません。");
    fs::remove(project / "versions");
    fs::create_symlink(temp.path() / "elsewhere/db", project / "history.sqlite3");
    EXPECT_EQ(refusal([&] { Vault store(root, PROJECT); }), "保存版の管理ファイルを確認してください。");
}

TEST_F(VersionStore, AppendStoresChangedContentOnlyAndKeepsOlderVersions) {
    store_committed({{"a.pdf", file("a.pdf", "version one")}, {"b.pdf", file("b.pdf", "other")}});
    EXPECT_EQ(count_files(project / "versions"), 2u);
    {
        Vault store(root, PROJECT);
        store.db().execute("BEGIN IMMEDIATE");
        std::vector<fs::path> created;
        store.append("a.pdf", file("same.pdf", "version one"), created);
        EXPECT_TRUE(created.empty()) << "identical content is not stored again";
        store.append("a.pdf", file("a2.pdf", "version two"), created);
        ASSERT_EQ(created.size(), 1u);
        EXPECT_EQ(mode_of(created.front()), 0600u);
        EXPECT_EQ(tesmira::read_text_file(created.front()), "version two");
        store.db().execute("COMMIT");
        EXPECT_EQ(store.latest("a.pdf")->first, created.front());
    }
    EXPECT_EQ(count_files(project / "versions"), 3u);
    Vault store(root, PROJECT);
    EXPECT_EQ(*store.db().query("SELECT count(*) FROM revisions WHERE name=?", {std::string("a.pdf")}),
              std::vector<std::string>{"2"});
}

TEST_F(VersionStore, AVersionChangedByHandIsRefusedWithItsName) {
    store_committed({{"a.pdf", file("a.pdf", "kept")}, {"b.pdf", file("b.pdf", "other")}});
    Vault store(root, PROJECT);
    const fs::path stored = store.latest("a.pdf")->first;
    const std::string message = "保存版「a.pdf」が変更・削除されています。自動で別原稿には切り替えません。";

    write(stored, "edited");
    EXPECT_EQ(refusal([&] { store.latest("a.pdf"); }), message);
    std::vector<fs::path> created;
    EXPECT_EQ(refusal([&] { store.append("a.pdf", file("new.pdf", "new"), created); }), message);
    EXPECT_TRUE(created.empty());
    EXPECT_TRUE(store.latest("b.pdf")) << "other names are unaffected";

    fs::remove(stored);
    EXPECT_EQ(refusal([&] { store.latest("a.pdf"); }), message);
    fs::create_symlink(temp.path() / "a.pdf", stored);
    EXPECT_EQ(refusal([&] { store.latest("a.pdf"); }), message) << "a link in place of the version file";

    // A damaged row can never point outside the versions folder.
    store.db().execute("PRAGMA foreign_keys=OFF");
    store.db().execute("UPDATE revisions SET id='../../x' WHERE name='b.pdf'");
    store.db().execute("UPDATE latest SET revision_id='../../x' WHERE name='b.pdf'");
    EXPECT_EQ(refusal([&] { store.latest("b.pdf"); }), "保存版の管理情報が不正です。");
}

// Every entry of a folder tree with its size and time of change: what "nothing written" keeps.
std::map<std::string, std::pair<std::uintmax_t, long long>> snapshot(const fs::path& folder) {
    std::map<std::string, std::pair<std::uintmax_t, long long>> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        struct stat info {};
        ::lstat(entry.path().c_str(), &info);
        entries[entry.path().lexically_relative(folder).string()] = {
            entry.is_regular_file() ? entry.file_size() : 0,
            static_cast<long long>(info.st_mtim.tv_sec) * 1'000'000'000LL + info.st_mtim.tv_nsec};
    }
    return entries;
}

TEST_F(VersionStore, VersionsWithoutTheirHistoryAreRefusedAndNothingIsWritten) {
    const std::string missing =
        "この案件の保存履歴（history.sqlite3）がありません。保存済みの版を守るため、履歴を作り直さずに中止しました。"
        "バックアップから戻してください。";
    const fs::path history = project / "history.sqlite3";
    struct Case {
        const char* what;
        std::function<void()> damage;
    } cases[] = {
        {"removed", [&] { fs::remove(history); }},
        {"emptied", [&] { fs::resize_file(history, 0); }},
        {"without its tables",
         [&] {
             fs::remove(history);
             tesmira::vault::Database other(history, 1000);
             other.execute("CREATE TABLE unrelated (x)");
         }},
    };
    for (const Case& c : cases) {
        fs::remove_all(project / "versions");
        fs::remove(history);
        store_committed({{"a.pdf", file("a.pdf", "version one")}});
        c.damage();
        const auto before = snapshot(project);
        EXPECT_EQ(refusal([&] { Vault store(root, PROJECT); }), missing) << c.what;
        EXPECT_EQ(snapshot(project), before) << c.what << ": nothing in the project is written";
    }
    // A project without a version gets its history made, as the first run always did.
    fs::remove_all(project / "versions");
    fs::remove(history);
    EXPECT_EQ(refusal([&] { Vault store(root, PROJECT); }), tesmira::fixtures::NO_REFUSAL);
    EXPECT_TRUE(fs::is_regular_file(history));
}

TEST_F(VersionStore, ModesChangeOnlyOnTheUsersOwnFolders) {
    fs::remove_all(root);
    write(root, "a user's file where the archive root should be");
    fs::permissions(root, fs::perms(0644));
    EXPECT_EQ(refusal([&] { Vault store(root, PROJECT); }), "保存版フォルダーがフォルダーではありません。");
    EXPECT_EQ(mode_of(root), 0644u);
    fs::remove(root);
    fs::create_directory(root);
    fs::permissions(root, fs::perms(0755));
    EXPECT_EQ(refusal([&] { Vault store(root, PROJECT); }), "選択した保存版の案件がありません。");
    EXPECT_EQ(mode_of(root), 0700u) << "a folder of the user's own becomes private";
}

// A run killed after publishing and before its commit leaves its record; the next run removes
// the version files and the published result folders it names, only where they still are what
// the run made: a real result folder, named as result folders are.
TEST_F(VersionStore, TheSweepUndoesAKilledRunsVersionsAndPublishedResults) {
    const fs::path output = temp.path() / "Downloads" / "a\nb";  // any bytes may name it
    fs::create_directories(output);
    const fs::path result = output / "てすみら検版_20261210_101112_abcdef01";
    const fs::path stranger = output / "てすみら検版_mine";
    const fs::path linked = output / "てすみら検版_20261210_101112_abcdef02";
    for (const fs::path& folder : {result, stranger, temp.path() / "elsewhere"}) fs::create_directories(folder);
    fs::create_directory_symlink(temp.path() / "elsewhere", linked);
    const pid_t child = fork();
    if (child == 0) {  // the killed run: its record stays, nothing is committed
        Vault store(root, PROJECT);
        store.db().execute("BEGIN IMMEDIATE");
        std::vector<fs::path> created;
        store.append("a.pdf", file("a.pdf", "never committed"), created);
        for (const fs::path& folder : {result, stranger, linked}) store.note_published(folder);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(count_files(project / "versions"), 1u);

    Vault store(root, PROJECT);
    store.db().execute("BEGIN IMMEDIATE");
    store.sweep_killed_runs();
    store.db().execute("COMMIT");
    EXPECT_EQ(count_files(project / "versions"), 0u);
    EXPECT_FALSE(fs::exists(result));
    EXPECT_TRUE(fs::exists(stranger));
    EXPECT_TRUE(fs::is_symlink(linked));
    EXPECT_TRUE(fs::exists(temp.path() / "elsewhere"));
    for (const auto& entry : fs::directory_iterator(project))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".run-")) << "the record is gone";
}
