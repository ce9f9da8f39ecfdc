#include "vault/version_store.hpp"

#include <sys/stat.h>

#include <chrono>
#include <system_error>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/json.hpp"
#include "common/json_reading.hpp"
#include "common/project_record.hpp"
#include "common/random_id.hpp"
#include "vault/document_name.hpp"
#include "vault/uncommitted_result.hpp"

namespace tesmira::vault {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const char* what, const fs::path& path) {
    throw fs::filesystem_error(what, path, std::error_code(errno, std::generic_category()));
}

bool is_link(const fs::path& path) {
    std::error_code ignored;
    return fs::is_symlink(fs::symlink_status(path, ignored));
}

void set_mode(const fs::path& path, mode_t mode) {
    if (::chmod(path.c_str(), mode) != 0) fail("cannot set mode", path);
}

// The archive root, made when missing; its mode is set only once it is known to be a real
// folder of this user's.
fs::path open_root(const fs::path& root_path) {
    const fs::path root = absolute_path(root_path);
    if (is_link(root)) throw UserError("保存版フォルダーをシンボリックリンクにはできません。");
    if (::mkdir(root.c_str(), 0700) != 0 && errno != EEXIST) fail("cannot create archive folder", root);
    struct stat info {};
    if (::lstat(root.c_str(), &info) != 0) fail("cannot read archive folder", root);
    if (S_ISLNK(info.st_mode)) throw UserError("保存版フォルダーをシンボリックリンクにはできません。");
    if (!S_ISDIR(info.st_mode)) throw UserError("保存版フォルダーがフォルダーではありません。");
    if (info.st_uid != ::getuid()) throw UserError("保存版フォルダーの所有者が異なります。");
    set_mode(root, 0700);
    return root;
}

// The display name from "project.json".
std::string read_project_name(const fs::path& folder, const std::string& project) {
    const fs::path project_file = folder / "project.json";
    if (is_link(project_file)) throw UserError("案件情報のリンクは使用できません。");
    const Json record = parse_json(read_regular_file(project_file, MAX_PROJECT_RECORD_BYTES));
    const auto field = [&](const char* key) {
        return record.is_object() && record.contains(key) ? record[key] : Json();
    };
    const Json version = field("version"), id = field("id"), name = field("name");
    if (!(version.is_number() && version.get<double>() == 1) || !(id.is_string() && id.get<std::string>() == project) ||
        !name.is_string())
        throw UserError("案件情報を確認できません。");
    return name.get<std::string>();
}

bool holds_anything(const fs::path& folder) {
    std::error_code error;
    return fs::is_directory(fs::symlink_status(folder, error)) && !fs::is_empty(folder, error) && !error;
}

// Whether "history.sqlite3" is there with both its tables. Opening an existing history
// writes nothing to it but what SQLite needs to roll back a killed run's transaction.
bool history_intact(const fs::path& history) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(history, error);
    if (!fs::is_regular_file(status) || fs::file_size(history, error) == 0 || error) return false;
    Database existing(history, 1000, false);
    const auto tables =
        existing.query("SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN ('revisions','latest')", {});
    return tables && (*tables)[0] == "2";
}

}  // namespace

Vault::Vault(const fs::path& root_path, const std::string& project) {
    if (!is_hex32(project)) throw UserError("保存版の案件を選択してください。");
    const fs::path root = open_root(root_path);

    folder_ = root / project;
    if (is_link(folder_) || !fs::is_directory(folder_)) throw UserError("選択した保存版の案件がありません。");
    project_name_ = read_project_name(folder_, project);

    versions_ = folder_ / "versions";
    if (is_link(versions_)) throw UserError("保存版のリンクは使用できません。");
    const fs::path history = folder_ / "history.sqlite3";
    if (is_link(history)) throw UserError("保存版の管理ファイルを確認してください。");
    // A history is made only for a project without versions: one made anew beside saved
    // versions would lose them from the record without a word.
    if (holds_anything(versions_) && !history_intact(history))
        throw UserError(
            "この案件の保存履歴（history.sqlite3）がありません。保存済みの版を守るため、履歴を作り直さずに中止しました。"
            "バックアップから戻してください。");
    if (::mkdir(versions_.c_str(), 0700) != 0 && errno != EEXIST) fail("cannot create folder", versions_);
    db_.emplace(history, 1000);
    set_mode(history, 0600);
    db_->execute("PRAGMA foreign_keys=ON");
    db_->execute(
        "CREATE TABLE IF NOT EXISTS revisions (id TEXT PRIMARY KEY, name TEXT COLLATE BINARY NOT NULL, "
        "sha256 TEXT NOT NULL, created_ns INTEGER NOT NULL)");
    db_->execute(
        "CREATE TABLE IF NOT EXISTS latest (name TEXT COLLATE BINARY PRIMARY KEY, revision_id TEXT NOT NULL "
        "REFERENCES revisions(id))");
}

void Vault::note_published(const fs::path& result_folder) {
    if (record_) record_->note_published(result_folder);
}

void Vault::sweep_killed_runs() {
    RunRecord::sweep(folder_, [&](const KilledRun& run) {
        // A run's versions are committed all together or not at all.
        bool committed = true;
        for (const std::string& id : run.revision_ids) {
            if (db_->query("SELECT 1 FROM revisions WHERE id=?", {id})) continue;  // committed before the kill
            committed = false;
            const fs::path file = versions_ / (id + ".pdf");
            std::error_code error;
            if (fs::is_regular_file(fs::symlink_status(file, error))) fs::remove(file);
        }
        if (!committed)
            for (const fs::path& result : run.published_results) UncommittedResult::remove_published(result);
    });
}

std::optional<std::pair<fs::path, std::string>> Vault::latest(const std::string& name) {
    const auto row =
        db_->query("SELECT r.id,r.sha256 FROM latest l JOIN revisions r ON r.id=l.revision_id WHERE l.name=?", {name});
    if (!row) return std::nullopt;
    const std::string& id = (*row)[0];
    const std::string& fingerprint = (*row)[1];
    // The id is checked before it becomes part of a path, so no row can point outside "versions".
    if (!is_hex32(id)) throw UserError("保存版の管理情報が不正です。");
    const fs::path file = versions_ / (id + ".pdf");
    std::error_code error;
    const fs::file_status status = fs::symlink_status(file, error);
    if (!fs::is_regular_file(status) || digest(file) != fingerprint)
        throw UserError("保存版「" + name + "」が変更・削除されています。自動で別原稿には切り替えません。");
    return std::make_pair(file, fingerprint);
}

void Vault::append(const std::string& name, const fs::path& path, std::vector<fs::path>& created) {
    const std::string checksum = digest(path);
    const auto current = latest(name);
    if (current && current->second == checksum) return;  // identical content is never stored twice in a row

    const std::string id = uuid4_hex();
    const fs::path target = versions_ / (id + ".pdf");
    if (!record_) record_.emplace(folder_);
    record_->note(id);
    copy_content(path, target, true, [&] { created.push_back(target); });
    set_mode(target, 0600);
    if (digest(target) != checksum) throw UserError("原稿を安全に保存できませんでした。");
    const long long now_ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    db_->query("INSERT INTO revisions VALUES (?,?,?,?)", {id, name, checksum, now_ns});
    db_->query("INSERT INTO latest VALUES (?,?) ON CONFLICT(name) DO UPDATE SET revision_id=excluded.revision_id",
               {name, id});
}

}  // namespace tesmira::vault
