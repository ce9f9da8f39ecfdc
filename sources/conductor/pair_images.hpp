#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/json.hpp"
#include "conductor/compared_run.hpp"
#include "conductor/events.hpp"
#include "conductor/page_pipeline.hpp"
#include "conductor/pair_validation.hpp"
#include "engine/page_job.hpp"
#include "pdf/page_identity.hpp"

namespace tesmira {
class CopyNames;
}

namespace tesmira::conductor {

// The pages of one compared pair, taken from the pipeline in page order and kept in memory:
// each page's banded result image and, with the noise pass, its strict image, encoded, and its
// page report.
class PairImages {
public:
    // `settings` normalized.
    PairImages(std::string before_name, std::string after_name, const Json& settings);

    // The engine's settings for one page of the pair.
    engine::PageSettings page_settings(int page) const;

    // Takes the pair's `pages` from the pipeline in page order, sending each page's "progress"
    // (the fields `position(page)` gives) before it is taken, as if the pages ran one by one: a
    // page's failure comes after its own "progress".
    void take_pages(PagePipeline& pipeline, int pages, const std::function<Json(int page)>& position,
                    const Progress& progress);

    // The pair as the binding step takes it, its images moved out.
    ComparedPair release(std::string source_name);

private:
    void add(engine::FinishedPage page);  // keeps the next page's images and report

    std::string before_name_, after_name_;
    Json settings_;
    ComparedPair pair_;
};

// The pipeline's jobs for the pages of a validated pair: each page compared from the private
// copies `before` and `after` with the pair's page settings (only the new page drawn where
// `proofs` say the page is proven to draw alike), failures naming the originals through
// `copies`, and its memory estimated from its size and what its proofs tell. `images` and
// `copies` must outlive the jobs.
std::vector<PagePipeline::Job> page_jobs(const std::filesystem::path& before, const std::filesystem::path& after,
                                         const ValidPair& pair, const std::vector<pdf::PagePair>& proofs,
                                         const PairImages& images, const CopyNames& copies);

}  // namespace tesmira::conductor
