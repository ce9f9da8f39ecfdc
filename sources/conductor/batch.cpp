#include "conductor/batch.hpp"

#include "common/files.hpp"
#include "conductor/compared_copies.hpp"
#include "conductor/page_pipeline.hpp"
#include "conductor/pair_images.hpp"
#include "conductor/staged_pair.hpp"

namespace tesmira::conductor {

void batch(const std::filesystem::path& before, const std::filesystem::path& after, const Json& settings,
           const PairSink& take, const Progress& progress) {
    TemporaryFolder job_folder(JOB_FOLDER);
    StagedPair staged;
    staged.before = job_folder.path() / "before.pdf";
    staged.after = job_folder.path() / "after.pdf";
    staged.before_name = resolved(before).filename().string();
    staged.after_name = resolved(after).filename().string();
    copy_pair(staged, before, after);
    check_pair(staged, settings);
    keep_compared_pair(staged.before_name, staged.before, staged.after);

    const int pages = staged.valid.pages;
    PairImages images(staged.before_name, staged.after_name, settings);
    progress("start", Json{{"total", pages}});
    {
        PagePipeline pipeline(
            page_jobs(staged.before, staged.after, staged.valid, staged.proofs, images, staged.copies),
            choose_budget());
        images.take_pages(
            pipeline,
            pages,
            [&](int page) {
                return Json{{"page", page}, {"total", pages}};
            },
            progress);
    }
    job_folder.remove();
    take(images.release(staged.before_name));
}

}  // namespace tesmira::conductor
