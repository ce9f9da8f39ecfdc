#include "vault/archive_job.hpp"

#include <sys/stat.h>

#include <optional>
#include <set>
#include <system_error>

#include "common/copy_names.hpp"
#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/input_limits.hpp"
#include "common/termination.hpp"
#include "common/unicode.hpp"
#include "vault/document_name.hpp"
#include "vault/transaction.hpp"
#include "vault/uncommitted_result.hpp"
#include "vault/version_store.hpp"

namespace tesmira::vault {
namespace {

namespace fs = std::filesystem;

void check_inputs(const std::vector<fs::path>& after, std::vector<std::string>& names) {
    if (after.empty() || after.size() > MAX_FILES_PER_SIDE)
        throw UserError("新しいPDFを1〜100ファイル選択してください。");
    for (const fs::path& path : after) names.push_back(canonical_name(path));
    std::set<std::string> folded;
    for (const std::string& name : names)
        if (!folded.insert(casefold(name)).second)
            throw UserError("同名または大文字小文字だけが異なるPDFが重複しています。取り違え防止のため処理しません。");
    const InputSizes sizes = measure_inputs(after);
    if (sizes.refused) throw UserError("各PDFは60MB以内にしてください。");
    if (sizes.total > MAX_TOTAL_BYTES) throw UserError("PDFの合計は2GB以内にしてください。");
}

struct FileIdentity {
    ino_t inode = 0;
    off_t size = 0;
    long long mtime_ns = 0;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity identity_of(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        throw fs::filesystem_error("cannot read", path, std::error_code(errno, std::generic_category()));
    return {info.st_ino,
            info.st_size,
            static_cast<long long>(info.st_mtim.tv_sec) * 1'000'000'000LL + info.st_mtim.tv_nsec};
}

// Copies a new PDF, refusing one that changes while it is read.
void copy_unchanged(const fs::path& source, const fs::path& target, const std::string& name) {
    const FileIdentity before = identity_of(source);
    copy_content(source, target);
    const FileIdentity after = identity_of(source);
    std::error_code error;
    if (!(before == after) || static_cast<long long>(fs::file_size(target, error)) != before.size || error)
        throw UserError("「" + name + "」が読込中に変更されました。保存が完了してから再試行してください。");
}

// The new PDFs and the saved versions they are compared with, copied to a private folder
// first, so that a file changed or replaced meanwhile cannot reach the comparison or the store.
struct StagedFiles {
    TemporaryFolder folder{ARCHIVE_COPIES};
    fs::path old_side = folder.path() / "before", new_side = folder.path() / "after";
    std::vector<fs::path> old_copies, new_copies;
    CopyNames copies;  // tells a library message that names a copy with the user's own path

    StagedFiles() {
        fs::create_directory(old_side);
        fs::create_directory(new_side);
    }
};

Transaction begin_transaction(Vault& store) {
    try {
        return Transaction(store.db());
    } catch (const SqliteError&) {
        throw UserError("この案件は別の検版で使用中です。完了してから再試行してください。");
    }
}

// A first registration takes only new names; a comparison needs a saved version of each.
void check_saved_version(const std::string& name, bool saved, bool register_baseline) {
    if (register_baseline && saved)
        throw UserError("「" + name + "」は登録済みです。初回登録では上書きせず、保存版と比較してください。");
    if (!register_baseline && !saved)
        throw UserError("この案件には「" + name +
                        "」の保存版がありません。初回原稿として登録してください。別案件・別名からは探しません。");
}

// Copies and checks each new PDF, and copies the latest saved version of its name.
void stage(StagedFiles& staged, Vault& store, const std::vector<fs::path>& after, const std::vector<std::string>& names,
           const Json& settings, bool register_baseline, const Validator& validator) {
    for (std::size_t i = 0; i < after.size(); ++i) {
        check_termination();
        const std::string& name = names[i];
        const fs::path target = staged.new_side / name;
        copy_unchanged(after[i], target, name);
        staged.copies.add(target, after[i]);
        staged.copies.run([&] { validator(target, target, settings); });
        const auto current = store.latest(name);
        check_saved_version(name, current.has_value(), register_baseline);
        staged.new_copies.push_back(target);
        if (current) {
            staged.old_copies.push_back(staged.old_side / name);
            copy_content(current->first, staged.old_copies.back());
            staged.copies.add(staged.old_copies.back(), current->first);
        }
    }
}

// Adds the new versions to the store, for the transaction to commit with their rows.
void store_versions(Vault& store, const std::vector<std::string>& names, const StagedFiles& staged,
                    Transaction& transaction) {
    std::vector<fs::path>& created = transaction.created_files();
    for (std::size_t i = 0; i < staged.new_copies.size(); ++i) {
        check_termination();
        store.append(names[i], staged.new_copies[i], created);
    }
    // The new files' folder entries reach the disk before the rows that name them.
    if (!created.empty()) sync_folder(store.versions());
}

}  // namespace

std::vector<fs::path> archive_job(const std::vector<fs::path>& after, const fs::path& root, const std::string& project,
                                  const fs::path& output_root, const Json& settings, bool register_baseline,
                                  const Exporter& exporter, const Validator& validator, const Progress& progress) {
    std::vector<std::string> names;
    check_inputs(after, names);

    Vault store(root, project);
    Transaction transaction = begin_transaction(store);
    store.sweep_killed_runs();
    std::vector<fs::path> exported;
    Json captured = Json::object();  // the comparison's "complete", sent once the archive has committed
    std::optional<UncommittedResult> result;
    {
        StagedFiles staged;
        stage(staged, store, after, names, settings, register_baseline, validator);
        if (!register_baseline) {
            const Progress forward = [&](const std::string& event, const Json& fields) {
                if (event == "complete")
                    captured.update(fields);
                else
                    progress(event, fields);
            };
            result.emplace(output_root);
            exported = staged.copies.run(
                [&] { return exporter(staged.old_copies, staged.new_copies, result->folder(), settings, forward); });
        }
        store_versions(store, names, staged, transaction);
    }
    check_termination();
    // The result becomes visible before the commit, noted in the run's record: killed after
    // the commit, the run leaves its result shown; killed before, the next run on the project
    // removes the result with the version files, and the next comparison finds the changes again.
    if (result) exported = result->publish(exported, [&](const fs::path& folder) { store.note_published(folder); });
    transaction.commit();
    if (result) result->keep();
    if (register_baseline) {
        progress("archive_saved", Json{{"count", after.size()}, {"project", store.project_name()}});
        return exported;
    }
    Json fields = result->published_fields(std::move(captured));
    fields["archive_updated"] = true;
    fields["project"] = store.project_name();
    progress("complete", fields);
    return exported;
}

}  // namespace tesmira::vault
