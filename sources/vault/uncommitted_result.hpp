#pragma once
#include <filesystem>
#include <vector>

#include "common/json.hpp"
#include "common/owned_items.hpp"

namespace tesmira::vault {

// Where an archive comparison's export publishes its result folder: a hidden folder in the
// output root, owned through an OwnerLock. The result moves into the output root only once the
// archive has committed the run's versions, so that a result folder there always has its
// versions in the history: a run killed before its commit leaves only this hidden folder, which
// the next run sweeps. Whatever is still in it when it goes is removed.
class UncommittedResult {
public:
    // Refuses an output root that is no folder with "ダウンロードフォルダーが見つかりません。".
    explicit UncommittedResult(const std::filesystem::path& output_root);
    ~UncommittedResult();
    UncommittedResult(const UncommittedResult&) = delete;
    UncommittedResult& operator=(const UncommittedResult&) = delete;

    // The output root to hand the export.
    const std::filesystem::path& folder() const { return folder_; }

    // Moves the result folders that hold `exported` (paths the export returned) into the
    // output root, never replacing anything, and returns the paths as they are there. A name
    // already taken fails with "保存先が既に存在します。もう一度実行してください。".
    std::vector<std::filesystem::path> publish(const std::vector<std::filesystem::path>& exported);

    // `fields` of the export's "complete" event with "output" and "pdfs" naming the places
    // that publish() moved them to.
    Json published_fields(Json fields) const;

private:
    std::filesystem::path moved(const std::filesystem::path& path) const;

    std::filesystem::path root_, folder_;
    OwnerLock owner_;
};

}  // namespace tesmira::vault
