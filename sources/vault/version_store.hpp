#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vault/run_record.hpp"
#include "vault/sqlite_database.hpp"

namespace tesmira::vault {

// One archive project, open: its folder, display name, version files and history.
// Every version ever stored stays; "latest" names each document's newest version.
class Vault {
public:
    // Checks the archive root and the project and prepares "versions" and "history.sqlite3".
    // A project whose versions have lost their history is refused, and nothing in it written.
    Vault(const std::filesystem::path& root, const std::string& project);

    const std::filesystem::path& folder() const { return folder_; }
    const std::string& project_name() const { return project_name_; }
    const std::filesystem::path& versions() const { return versions_; }
    Database& db() { return *db_; }

    // The newest version of a document (its file and fingerprint), re-checked on disk.
    std::optional<std::pair<std::filesystem::path, std::string>> latest(const std::string& name);

    // Stores `path` as the newest version of `name` unless it equals the current newest one.
    // Every version file it creates is added to `created` as soon as its copy begins, and
    // noted in the run's record (run_record.hpp) before. Never commits: the rows join the
    // caller's transaction.
    void append(const std::string& name, const std::filesystem::path& path,
                std::vector<std::filesystem::path>& created);

    // Notes, in the run's record, a result folder about to be published with the versions
    // appended so far, so that it goes again if the run is killed before its commit. Nothing is
    // noted when no version was appended: such a run has nothing to commit.
    void note_published(const std::filesystem::path& result_folder);

    // Undoes what killed runs left without committing: their version files and the result
    // folders they published. Call it holding the write transaction.
    void sweep_killed_runs();

private:
    std::filesystem::path folder_, versions_;
    std::string project_name_;
    std::optional<Database> db_;
    std::optional<RunRecord> record_;  // made with the first version file
};

}  // namespace tesmira::vault
