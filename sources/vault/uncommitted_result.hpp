#pragma once
#include <filesystem>
#include <functional>
#include <vector>

#include "common/json.hpp"
#include "common/owned_items.hpp"

namespace tesmira::vault {

// Where an archive comparison's export publishes its result folder: a hidden folder in the
// output root, owned through an OwnerLock, from which the result moves into the output root
// just before the archive commits the run's versions. Unless the run committed, the moved
// folders are removed again when this goes; a run killed between the move and the commit has
// noted them in its run record, so that the next run on the project removes them (run_record.hpp).
// So once that run has swept, a result folder in the output root has its versions in the history,
// and a comparison whose versions were not committed finds its changes again.
class UncommittedResult {
public:
    // Refuses an output root that is no folder with "ダウンロードフォルダーが見つかりません。".
    explicit UncommittedResult(const std::filesystem::path& output_root);
    // Removes the hidden folder with what is still in it and, unless kept, the published folders.
    ~UncommittedResult();
    UncommittedResult(const UncommittedResult&) = delete;
    UncommittedResult& operator=(const UncommittedResult&) = delete;

    // The output root to hand the export.
    const std::filesystem::path& folder() const { return folder_; }

    // Moves the result folders that hold `exported` (paths the export returned) into the
    // output root, never replacing anything, and returns the paths as they are there.
    // `before_move` sees each folder's place in the output root before it moves. A name already
    // taken fails with "保存先が既に存在します。もう一度実行してください。".
    std::vector<std::filesystem::path> publish(const std::vector<std::filesystem::path>& exported,
                                               const std::function<void(const std::filesystem::path&)>& before_move);

    // The run has committed: the published folders stay.
    void keep() { kept_ = true; }

    // `fields` of the export's "complete" event with "output" and "pdfs" naming the places
    // that publish() moved them to.
    Json published_fields(Json fields) const;

    // Removes a result folder that a run published and did not commit, if it still is one: a
    // real folder (no link) named as result folders are, in a parent that is no link either.
    // Silent: what cannot be removed stays.
    static void remove_published(const std::filesystem::path& result_folder) noexcept;

private:
    std::filesystem::path moved(const std::filesystem::path& path) const;

    std::filesystem::path root_, folder_;
    OwnerLock owner_;
    std::vector<std::filesystem::path> published_;
    bool kept_ = false;
};

}  // namespace tesmira::vault
