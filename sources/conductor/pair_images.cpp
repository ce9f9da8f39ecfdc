#include "conductor/pair_images.hpp"

#include "common/copy_names.hpp"
#include "common/files.hpp"
#include "common/owned_items.hpp"
#include "common/termination.hpp"
#include "conductor/job_report.hpp"
#include "conductor/names.hpp"
#include "conductor/page_regions.hpp"

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

PairImages::PairImages(const std::filesystem::path& parent, std::string before_name, std::string after_name,
                       const Json& settings)
    : folder_(parent, PARTIAL_IMAGES),
      before_name_(std::move(before_name)),
      after_name_(std::move(after_name)),
      settings_(settings) {}

engine::PageSettings PairImages::page_settings(int page) const {
    Json settings = settings_;
    settings["page"] = page;
    settings["before_name"] = before_name_;
    settings["after_name"] = after_name_;
    settings["diagnostic_images"] = false;
    return engine::read_page_settings(settings);
}

void PairImages::add(engine::FinishedPage page) {
    const int number = int(reports_.size()) + 1;
    const std::string file = "検版_" + three_digits(number) + ".png";
    write_text_file(folder_.path() / file, page.result_png);
    Json strict_file;  // null unless the noise pass made a strict image
    if (page.strict_png) {
        strict_file = "厳密比較_" + three_digits(number) + ".png";
        write_text_file(folder_.path() / strict_file.get<std::string>(), *page.strict_png);
    }
    reports_.push_back(page_report(number, file, strict_file, page.record));
    reported_.push_back(reports_.back());
    reported_.back().update(page_regions(page.record));
}

void PairImages::take_pages(PagePipeline& pipeline, int pages, const std::function<Json(int page)>& position,
                            const Progress& progress) {
    for (int page = 1; page <= pages; ++page) {
        check_termination();
        progress("progress", position(page));
        add(pipeline.next());
    }
    check_termination();
}

std::vector<PagePipeline::Job> page_jobs(const std::filesystem::path& before, const std::filesystem::path& after,
                                         const ValidPair& pair, const PairImages& images, const CopyNames& copies) {
    std::vector<PagePipeline::Job> jobs;
    for (int page = 1; page <= pair.pages; ++page)
        jobs.push_back({[&copies, &images, before, after, page] {
                            return copies.run([&] {
                                return engine::finish_page(
                                    engine::compare_page(before, after, images.page_settings(page)));
                            });
                        },
                        page_bytes(pair.page_pixels[std::size_t(page - 1)])});
    return jobs;
}

void PairImages::publish(const std::filesystem::path& image_folder) {
    Json report;
    report["version"] = 1;
    report["before"] = before_name_;
    report["after"] = after_name_;
    report["settings"] = settings_;
    report["pages"] = reports_;
    report["notice"] = NOTICE;
    publish_with_job_report(folder_, report, image_folder);
}

}  // namespace tesmira::conductor
