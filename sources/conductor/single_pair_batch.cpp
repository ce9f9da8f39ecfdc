#include "conductor/single_pair_batch.hpp"

#include <optional>

#include "common/at_once.hpp"
#include "common/copy_names.hpp"
#include "common/files.hpp"
#include "common/random_id.hpp"
#include "common/termination.hpp"
#include "conductor/compared_copies.hpp"
#include "conductor/names.hpp"
#include "conductor/page_pipeline.hpp"
#include "conductor/pair_images.hpp"
#include "conductor/pair_validation.hpp"
#include "conductor/settings.hpp"

namespace tesmira::conductor {

std::filesystem::path batch(const std::filesystem::path& before, const std::filesystem::path& after,
                            const std::filesystem::path& output_root, const Json& settings, const Progress& progress) {
    const Json normalized = normalized_settings(settings);
    const std::filesystem::path old_pdf = resolved(before), new_pdf = resolved(after);
    const std::filesystem::path root = output_root_folder(output_root);
    const std::string before_name = old_pdf.filename().string(), after_name = new_pdf.filename().string();

    std::optional<TemporaryFolder> job_folder(std::in_place, JOB_FOLDER);
    const std::filesystem::path job = job_folder->path();
    check_termination();
    at_once([&] { copy_content(old_pdf, job / "before.pdf"); }, [&] { copy_content(new_pdf, job / "after.pdf"); });
    CopyNames copies;
    copies.add(job / "before.pdf", before);
    copies.add(job / "after.pdf", after);
    const ValidPair pair = copies.run([&] { return validate_pair(job / "before.pdf", job / "after.pdf", normalized); });
    keep_compared_pair(before_name, job / "before.pdf", job / "after.pdf");

    const std::filesystem::path image_folder = root / ("てすみら検版_" + name_stamp());
    PairImages images(root, before_name, after_name, normalized);
    images.fill([&] {
        progress("start", Json{{"total", pair.pages}});
        PagePipeline pipeline(page_jobs(job / "before.pdf", job / "after.pdf", pair, images, copies), choose_budget());
        // Each page's "progress" goes out once the page before it is written, and a page's
        // failure after its own "progress", as if the pages ran one by one.
        for (int page = 1; page <= pair.pages; ++page) {
            check_termination();
            progress("progress", Json{{"page", page}, {"total", pair.pages}});
            images.add(pipeline.next());
        }
        check_termination();
        images.publish(image_folder);
    });
    job_folder->remove();

    progress("complete", Json{{"output", image_folder.string()}, {"pages", images.reported_pages()}});
    return image_folder;
}

}  // namespace tesmira::conductor
