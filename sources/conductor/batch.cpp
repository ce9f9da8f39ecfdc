#include "conductor/batch.hpp"

#include <optional>

#include "common/at_once.hpp"
#include "common/copy_names.hpp"
#include "common/files.hpp"
#include "common/termination.hpp"
#include "conductor/compared_copies.hpp"
#include "conductor/names.hpp"
#include "conductor/page_pipeline.hpp"
#include "conductor/pair_images.hpp"
#include "conductor/pair_validation.hpp"

namespace tesmira::conductor {
namespace {

// The pair's private copies, "before.pdf" and "after.pdf" in a job folder, checked there, so
// that a file changed or replaced meanwhile cannot reach the comparison.
struct JobFolderPair {
    std::optional<TemporaryFolder> job_folder;
    std::filesystem::path before, after;
    CopyNames copies;  // failures name the originals
    ValidPair valid;
};

// Copies the resolved originals into the job folder; failures name the originals as given.
void stage_pair(JobFolderPair& staged, const std::filesystem::path& resolved_before,
                const std::filesystem::path& resolved_after, const std::filesystem::path& before,
                const std::filesystem::path& after, const Json& settings) {
    staged.job_folder.emplace(JOB_FOLDER);
    staged.before = staged.job_folder->path() / "before.pdf";
    staged.after = staged.job_folder->path() / "after.pdf";
    check_termination();
    at_once([&] { copy_content(resolved_before, staged.before); }, [&] { copy_content(resolved_after, staged.after); });
    staged.copies.add(staged.before, before);
    staged.copies.add(staged.after, after);
    staged.valid = staged.copies.run([&] { return validate_pair(staged.before, staged.after, settings); });
}

}  // namespace

ComparedRun batch(const std::filesystem::path& before, const std::filesystem::path& after,
                  const std::filesystem::path& root, const Json& settings, const Progress& progress) {
    const std::filesystem::path resolved_before = resolved(before), resolved_after = resolved(after);
    const std::string before_name = resolved_before.filename().string();
    const std::string after_name = resolved_after.filename().string();
    JobFolderPair staged;
    stage_pair(staged, resolved_before, resolved_after, before, after, settings);
    keep_compared_pair(before_name, staged.before, staged.after);

    ComparedRun run{stamped_run_folder(root)};
    const int pages = staged.valid.pages;
    PairImages images(root, before_name, after_name, settings);
    images.fill([&] {
        progress("start", Json{{"total", pages}});
        PagePipeline pipeline(page_jobs(staged.before, staged.after, staged.valid, images, staged.copies),
                              choose_budget());
        images.take_pages(
            pipeline,
            pages,
            [&](int page) {
                return Json{{"page", page}, {"total", pages}};
            },
            progress);
        images.publish(run.image_folder);
    });
    staged.job_folder->remove();
    run.pages = images.reported_pages();
    return run;
}

}  // namespace tesmira::conductor
