#include "conductor/batch_many.hpp"

#include <deque>
#include <optional>

#include "common/copy_names.hpp"
#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/input_limits.hpp"
#include "common/termination.hpp"
#include "conductor/batch.hpp"
#include "conductor/compared_copies.hpp"
#include "conductor/job_report.hpp"
#include "conductor/names.hpp"
#include "conductor/page_pipeline.hpp"
#include "conductor/page_regions.hpp"
#include "conductor/pair_images.hpp"
#include "conductor/pair_validation.hpp"
#include "conductor/pairing.hpp"
#include "conductor/partial_folder.hpp"

namespace tesmira::conductor {
namespace {

const char* const MATCHING = "NFC正規化した完全同一ファイル名（大文字小文字を区別）";
constexpr std::size_t PAIR_FOLDER_STEM_BYTES = 180;

struct StagedPair {
    std::filesystem::path before, after;  // the copies in the staging folder
    std::string before_name, after_name;
    ValidPair valid;
};

void check_sizes(const std::vector<PdfPair>& pairs) {
    std::vector<std::filesystem::path> paths;
    for (const auto& [old_path, new_path] : pairs) paths.insert(paths.end(), {old_path, new_path});
    const InputSizes sizes = measure_inputs(paths);
    if (sizes.refused) throw UserError("各PDFは60MB以内にしてください: " + sizes.refused->filename().string());
    if (sizes.total > MAX_TOTAL_BYTES)
        throw UserError("新旧PDFの合計は2GB以内にしてください。分けて検版してください。");
}

// Copies each pair into the staging folder and checks it there, so that a file changed or
// replaced meanwhile cannot reach the comparison.
std::vector<StagedPair> stage_pairs(const std::vector<PdfPair>& pairs, const std::filesystem::path& staging,
                                    CopyNames& copies, const Json& settings) {
    std::vector<StagedPair> staged;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        check_termination();
        StagedPair pair;
        pair.before_name = pairs[i].first.filename().string();
        pair.after_name = pairs[i].second.filename().string();
        const std::filesystem::path slot = staging / std::to_string(i + 1);
        std::filesystem::create_directories(slot / "before");
        pair.before = slot / "before" / pair.before_name;
        copy_content(pairs[i].first, pair.before);
        std::filesystem::create_directories(slot / "after");
        pair.after = slot / "after" / pair.after_name;
        copy_content(pairs[i].second, pair.after);
        copies.add(pair.before, pairs[i].first);
        copies.add(pair.after, pairs[i].second);
        try {
            pair.valid = copies.run([&] { return validate_pair(pair.before, pair.after, settings); });
        } catch (const std::exception& error) {
            throw UserError(pair.before_name + ": " + error.what());
        }
        staged.push_back(std::move(pair));
    }
    return staged;
}

// What the job report and the "complete" event say of the pairs and their pages, as they are
// gathered.
struct RunRecords {
    Json files = Json::array();           // the report's record of each pair
    Json pages = Json::array();           // the report's page records
    Json reported_pages = Json::array();  // the same with their regions, for "complete"
};

// One pair's pages as the run's records name them: their files inside the pair's folder.
void add_pair_records(RunRecords& records, const StagedPair& pair, const PairImages& images,
                      const std::string& folder_name) {
    records.files.push_back(Json{{"before", pair.before_name},
                                 {"after", pair.after_name},
                                 {"folder", folder_name},
                                 {"pages", pair.valid.pages}});
    for (Json record : images.reported_pages()) {
        const Json regions = take_page_regions(record);
        record["file"] = folder_name + "/" + record.at("file").get<std::string>();
        const Json strict = record.value("strict_file", Json());
        record["strict_file"] = strict.is_string() && !strict.get<std::string>().empty()
                                    ? Json(folder_name + "/" + strict.get<std::string>())
                                    : Json();
        record["source_name"] = pair.before_name;
        records.pages.push_back(record);
        records.reported_pages.push_back(record);
        records.reported_pages.back().update(regions);
    }
}

int total_pages(const std::vector<StagedPair>& staged) {
    int total = 0;
    for (const StagedPair& pair : staged) total += pair.valid.pages;
    return total;
}

// The pipeline's jobs for the pages of every pair, each pair's images going into a folder of
// its own in `partial`.
std::vector<PagePipeline::Job> jobs_of_pairs(const std::vector<StagedPair>& staged, std::deque<PairImages>& images,
                                             const std::filesystem::path& partial, const Json& settings,
                                             const CopyNames& copies) {
    std::vector<PagePipeline::Job> jobs;
    for (const StagedPair& pair : staged) {
        images.emplace_back(partial, pair.before_name, pair.after_name, settings);
        keep_compared_pair(pair.before_name, pair.before, pair.after);
        for (PagePipeline::Job& job : page_jobs(pair.before, pair.after, pair.valid, images.back(), copies))
            jobs.push_back(std::move(job));
    }
    return jobs;
}

// One pipeline over the pages of every pair, so that the processors stay busy from the first
// page to the last, also where one file ends and the next begins. Each pair's images go into
// its own folder in `partial`, with "progress" sent page after page.
RunRecords compare_pairs(const std::vector<StagedPair>& staged, const std::filesystem::path& partial,
                         const Json& settings, const CopyNames& copies, const Progress& progress) {
    std::deque<PairImages> images;
    PagePipeline pipeline(jobs_of_pairs(staged, images, partial, settings, copies), choose_budget());
    const int total = total_pages(staged);
    RunRecords records;
    const int file_total = int(staged.size());
    int completed = 0;
    for (int index = 1; index <= file_total; ++index) {
        const StagedPair& pair = staged[std::size_t(index - 1)];
        const int pages = pair.valid.pages;
        PairImages& pair_images = images[std::size_t(index - 1)];
        const std::string folder_name =
            three_digits(index) + "_" + cleaned_stem(pair.before_name, PAIR_FOLDER_STEM_BYTES, "PDF");
        const auto position = [&](int page) {
            return Json{{"page", completed + page},
                        {"total", total},
                        {"name", pair.before_name},
                        {"file_index", index},
                        {"file_total", file_total},
                        {"file_page", page},
                        {"file_pages", pages}};
        };
        pair_images.fill([&] {
            pair_images.take_pages(pipeline, pages, position, progress);
            pair_images.publish(partial / folder_name);
        });
        add_pair_records(records, pair, pair_images, folder_name);
        completed += pages;
    }
    check_termination();
    return records;
}

// The job report of version 2, of every pair's pages.
Json job_report(const Json& settings, const RunRecords& records) {
    Json report;
    report["version"] = 2;
    report["settings"] = settings;
    report["files"] = records.files;
    report["pages"] = records.pages;
    report["matching"] = MATCHING;
    return report;
}

}  // namespace

ComparedRun batch_many(const std::vector<std::filesystem::path>& before,
                       const std::vector<std::filesystem::path>& after, const std::filesystem::path& root,
                       const Json& settings, const Progress& progress) {
    const std::vector<PdfPair> pairs = match_files(before, after);
    if (pairs.size() == 1) return batch(pairs[0].first, pairs[0].second, root, settings, progress);
    check_sizes(pairs);

    std::optional<TemporaryFolder> staging(std::in_place, STAGING_FOLDER);
    CopyNames copies;
    const std::vector<StagedPair> staged = stage_pairs(pairs, staging->path(), copies, settings);
    progress("start", Json{{"total", total_pages(staged)}, {"files", int(staged.size())}});

    ComparedRun run{stamped_run_folder(root)};
    PartialFolder building(root, PARTIAL_IMAGES);
    building.fill([&] {
        const RunRecords records = compare_pairs(staged, building.path(), settings, copies, progress);
        run.pages = records.reported_pages;
        publish_with_job_report(building, job_report(settings, records), run.image_folder);
    });
    staging->remove();
    return run;
}

}  // namespace tesmira::conductor
