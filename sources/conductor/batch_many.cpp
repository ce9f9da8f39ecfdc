#include "conductor/batch_many.hpp"

#include <deque>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/input_limits.hpp"
#include "common/termination.hpp"
#include "conductor/batch.hpp"
#include "conductor/compared_copies.hpp"
#include "conductor/page_pipeline.hpp"
#include "conductor/pair_images.hpp"
#include "conductor/pairing.hpp"
#include "conductor/staged_pair.hpp"

namespace tesmira::conductor {
namespace {

void check_sizes(const std::vector<PdfPair>& pairs) {
    std::vector<std::filesystem::path> paths;
    for (const auto& [old_path, new_path] : pairs) paths.insert(paths.end(), {old_path, new_path});
    const InputSizes sizes = measure_inputs(paths);
    if (sizes.refused) throw UserError("各PDFは60MB以内にしてください: " + sizes.refused->filename().string());
    if (sizes.total > MAX_TOTAL_BYTES)
        throw UserError("新旧PDFの合計は2GB以内にしてください。分けて検版してください。");
}

// Copies the pair into its slot of the staging folder and checks it there; a refusal names the
// old file.
void stage(StagedPair& pair, const PdfPair& files, const std::filesystem::path& slot, const Json& settings) {
    pair.before_name = files.first.filename().string();
    pair.after_name = files.second.filename().string();
    std::filesystem::create_directories(slot / "before");
    std::filesystem::create_directories(slot / "after");
    pair.before = slot / "before" / pair.before_name;
    pair.after = slot / "after" / pair.after_name;
    copy_pair(pair, files.first, files.second);
    try {
        check_pair(pair, settings);
    } catch (const std::exception& error) {
        throw UserError(pair.before_name + ": " + error.what());
    }
}

// A run over several pairs: each pair's pages go into the one pipeline as soon as the pair is
// checked, so that the processors compare while later pairs are still copied and checked, and
// from the first page of the run to the last, also where one file ends and the next begins.
class ManyPairs {
public:
    ManyPairs(const Json& settings, const std::filesystem::path& staging)
        : settings_(settings), staging_(staging), pipeline_({}, choose_budget()) {}

    void stage_all(const std::vector<PdfPair>& pairs) {
        for (const PdfPair& files : pairs) {
            check_termination();
            StagedPair& pair = staged_.emplace_back();
            stage(pair, files, staging_ / std::to_string(staged_.size()), settings_);
            PairImages& images = images_.emplace_back(pair.before_name, pair.after_name, settings_);
            pipeline_.add(page_jobs(pair.before, pair.after, pair.valid, pair.proofs, images, pair.copies));
        }
        // Kept for the window once every pair is accepted.
        for (const StagedPair& pair : staged_) keep_compared_pair(pair.before_name, pair.before, pair.after);
    }

    int total_pages() const {
        int total = 0;
        for (const StagedPair& pair : staged_) total += pair.valid.pages;
        return total;
    }

    // Every pair's pages in order, "progress" page after page, each pair taken once complete.
    void take_all(const PairSink& take, const Progress& progress) {
        const int total = total_pages(), file_total = int(staged_.size());
        int completed = 0;
        for (int index = 1; index <= file_total; ++index) {
            const StagedPair& pair = staged_[std::size_t(index - 1)];
            const int pages = pair.valid.pages;
            PairImages& images = images_[std::size_t(index - 1)];
            const auto position = [&](int page) {
                return Json{{"page", completed + page},
                            {"total", total},
                            {"name", pair.before_name},
                            {"file_index", index},
                            {"file_total", file_total},
                            {"file_page", page},
                            {"file_pages", pages}};
            };
            images.take_pages(pipeline_, pages, position, progress);
            take(images.release(pair.before_name));
            completed += pages;
        }
        check_termination();
    }

private:
    Json settings_;
    std::filesystem::path staging_;
    // Deques, so that adding a pair moves none that the pipeline's jobs refer to; both outlive
    // the pipeline, which joins its jobs when it goes.
    std::deque<StagedPair> staged_;
    std::deque<PairImages> images_;
    PagePipeline pipeline_;
};

}  // namespace

void batch_many(const std::vector<std::filesystem::path>& before, const std::vector<std::filesystem::path>& after,
                const Json& settings, const PairSink& take, const Progress& progress) {
    const std::vector<PdfPair> pairs = match_files(before, after);
    if (pairs.size() == 1) return batch(pairs[0].first, pairs[0].second, settings, take, progress);
    check_sizes(pairs);

    TemporaryFolder staging(STAGING_FOLDER);
    {
        ManyPairs run(settings, staging.path());
        run.stage_all(pairs);
        progress("start", Json{{"total", run.total_pages()}, {"files", int(pairs.size())}});
        run.take_all(take, progress);
    }
    staging.remove();
}

}  // namespace tesmira::conductor
