#include "conductor/single_pair_batch.hpp"

#include <exception>
#include <future>
#include <optional>

#include "common/copy_names.hpp"
#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/json_text.hpp"
#include "common/random_id.hpp"
#include "common/termination.hpp"
#include "conductor/compared_copies.hpp"
#include "conductor/names.hpp"
#include "conductor/page_regions.hpp"
#include "conductor/pair_validation.hpp"
#include "conductor/partial_folder.hpp"
#include "conductor/settings.hpp"
#include "engine/page_job.hpp"

namespace tesmira::conductor {
namespace {

const char* const NOTICE =
    "同じページ番号同士の比較です。ページの入替・追加削除を自動認識しません。Photoshopとの完全同等性は未保証です。";

Json page_report(int page, const std::string& file, const Json& strict_file, const Json& result) {
    Json report;
    report["page"] = page;
    report["file"] = file;
    report["strict_file"] = strict_file;
    for (const char* key : {"regions", "changed_percent"}) report[key] = result.at(key);
    report["seconds"] = result.at("total_seconds");
    for (const char* key : {"warnings", "tiny_marks", "grain"}) report[key] = result.at(key);
    return report;
}

}  // namespace

std::filesystem::path batch(const std::filesystem::path& before, const std::filesystem::path& after,
                            const std::filesystem::path& output_root, const Json& settings,
                            const Progress& progress) {
    const Json normalized = normalized_settings(settings);
    const std::filesystem::path old_pdf = resolved(before), new_pdf = resolved(after);
    const std::filesystem::path root = output_root_folder(output_root);
    const std::string before_name = old_pdf.filename().string(), after_name = new_pdf.filename().string();

    std::optional<TemporaryFolder> job_folder(std::in_place, JOB_FOLDER);
    const std::filesystem::path job = job_folder->path();
    check_termination();
    copy_content(old_pdf, job / "before.pdf");
    copy_content(new_pdf, job / "after.pdf");
    CopyNames copies;
    copies.add(job / "before.pdf", before);
    copies.add(job / "after.pdf", after);
    const int pages = copies.run([&] { return validate_pair(job / "before.pdf", job / "after.pdf", normalized); });
    keep_compared_pair(before_name, job / "before.pdf", job / "after.pdf");

    const std::filesystem::path image_folder = root / ("てすみら検版_" + name_stamp());
    PartialFolder building(root, PARTIAL_IMAGES);
    const std::filesystem::path& partial = building.path();
    Json reports = Json::array(), reported = Json::array();  // the file's and the event's
    building.fill([&] {
        progress("start", Json{{"total", pages}});
        const bool grain = normalized.at("grain").get<bool>();
        const auto job_settings = [&](int page) {
            Json settings_of_page = normalized;
            settings_of_page["page"] = page;
            settings_of_page["before_name"] = before_name;
            settings_of_page["after_name"] = after_name;
            settings_of_page["diagnostic_images"] = false;
            return settings_of_page;
        };
        const auto compare = [&](int page) { return copies.run([&] { return engine::compare_page(job, job_settings(page)); }); };
        check_termination();
        progress("progress", Json{{"page", 1}, {"total", pages}});
        std::optional<engine::ComparedPage> compared = compare(1);
        for (int page = 1; page <= pages; ++page) {
            // The page is saved while the next one is compared. Nothing of the next page reaches
            // the job folder or the events before this page's images are copied out, and a failure
            // of the next page waits for its own "progress" event, as if the pages ran one by one.
            std::future<Json> saving = std::async(std::launch::async, engine::save_page, job, std::move(*compared));
            compared.reset();
            std::exception_ptr next_failure;
            if (page < pages) {
                try {
                    check_termination();
                    compared = compare(page + 1);
                } catch (...) {
                    next_failure = std::current_exception();
                }
            }
            const Json result = saving.get();
            const std::string file = "検版_" + three_digits(page) + ".png";
            copy_content(job / "result.png", partial / file);
            Json strict_file;  // null unless the noise pass wrote a strict image
            if (grain) {
                strict_file = "厳密比較_" + three_digits(page) + ".png";
                copy_content(job / "strict.png", partial / strict_file.get<std::string>());
            }
            reports.push_back(page_report(page, file, strict_file, result));
            reported.push_back(reports.back());
            reported.back().update(page_regions(result));
            if (page < pages) {
                check_termination();
                progress("progress", Json{{"page", page + 1}, {"total", pages}});
                if (next_failure) std::rethrow_exception(next_failure);
            }
        }
        check_termination();

        Json report;
        report["version"] = 1;
        report["before"] = before_name;
        report["after"] = after_name;
        report["settings"] = normalized;
        report["pages"] = reports;
        report["notice"] = NOTICE;
        write_text_file(partial / "検版情報.json", indented_json(report));
        building.publish(image_folder);
    });
    job_folder->remove();

    progress("complete", Json{{"output", image_folder.string()}, {"pages", reported}});
    return image_folder;
}

}  // namespace tesmira::conductor
