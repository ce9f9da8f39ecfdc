#include "conductor/pair_images.hpp"

#include "common/copy_names.hpp"
#include "common/termination.hpp"
#include "conductor/page_regions.hpp"

namespace tesmira::conductor {
namespace {

// A page's report, the PDFs it will be in left to the binding step.
Json page_report(int page, const Json& result) {
    Json report;
    report["page"] = page;
    report["file"] = nullptr;
    report["strict_file"] = nullptr;
    for (const char* key : {"regions", "changed_percent"}) report[key] = result.at(key);
    report["seconds"] = result.at("total_seconds");
    for (const char* key : {"warnings", "tiny_marks", "grain"}) report[key] = result.at(key);
    report.update(page_regions(result));
    return report;
}

}  // namespace

PairImages::PairImages(std::string before_name, std::string after_name, const Json& settings)
    : before_name_(std::move(before_name)), after_name_(std::move(after_name)), settings_(settings) {}

engine::PageSettings PairImages::page_settings(int page) const {
    Json settings = settings_;
    settings["page"] = page;
    settings["before_name"] = before_name_;
    settings["after_name"] = after_name_;
    settings["diagnostic_images"] = false;
    return engine::read_page_settings(settings);
}

void PairImages::add(engine::FinishedPage page) {
    pair_.pages.push_back(page_report(int(pair_.pages.size()) + 1, page.record));
    pair_.result_images.push_back(std::move(page.result_png));
    if (page.strict_png) pair_.strict_images.push_back(std::move(*page.strict_png));
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

ComparedPair PairImages::release(std::string source_name) {
    pair_.source_name = std::move(source_name);
    return std::move(pair_);
}

std::vector<PagePipeline::Job> page_jobs(const std::filesystem::path& before, const std::filesystem::path& after,
                                         const ValidPair& pair, const std::vector<pdf::PagePair>& proofs,
                                         const PairImages& images, const CopyNames& copies) {
    std::vector<PagePipeline::Job> jobs;
    const bool noise = images.page_settings(1).noise;
    for (int page = 1; page <= pair.pages; ++page) {
        const pdf::PagePair proof =
            std::size_t(page) <= proofs.size() ? proofs[std::size_t(page - 1)] : pdf::PagePair();
        const bool alike = proof.identical;
        jobs.push_back({[&copies, &images, before, after, page, alike] {
                            return copies.run([&] {
                                const engine::PageSettings settings = images.page_settings(page);
                                return engine::finish_page(alike
                                                               ? engine::compare_identical_page(before, after, settings)
                                                               : engine::compare_page(before, after, settings));
                            });
                        },
                        page_bytes(pair.page_pixels[std::size_t(page - 1)], {alike, proof.inks, noise})});
    }
    return jobs;
}

}  // namespace tesmira::conductor
