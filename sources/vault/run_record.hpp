#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/descriptor.hpp"
#include "common/owned_items.hpp"

namespace tesmira::vault {

// What a run that was killed before its commit had written where others see it.
struct KilledRun {
    std::vector<std::string> revision_ids;                 // its version files, committed or not
    std::vector<std::filesystem::path> published_results;  // its result folders, made visible
};

// What an archive run writes outside its transaction, kept where a later run finds it if this
// one is killed: the ids of the version files it makes, each noted (and forced to disk) before
// its file is created, and the result folders it publishes, each noted before it moves into
// the output root. The record ".run-<32 hex>" lives in the project folder, owned through an
// OwnerLock, and goes when the run ends, whatever way it ends but a kill.
class RunRecord {
public:
    explicit RunRecord(const std::filesystem::path& project_folder);
    ~RunRecord();  // removes the record, silently
    RunRecord(const RunRecord&) = delete;
    RunRecord& operator=(const RunRecord&) = delete;

    // Notes the id of a version file about to be created.
    void note(const std::string& revision_id);
    // Notes a result folder about to be published (its place in the output root).
    void note_published(const std::filesystem::path& result_folder);

    // In `project_folder`, for each record that a killed run left, calls `undo` with what it
    // noted, then removes the record. Records of live runs are left alone. Call it holding
    // the project's write lock, so that no other run is between its first file and its commit.
    static void sweep(const std::filesystem::path& project_folder, const std::function<void(const KilledRun&)>& undo);

private:
    void write_line(const std::string& line);

    std::filesystem::path path_;
    OwnerLock owner_;
    Descriptor file_;
};

}  // namespace tesmira::vault
