#pragma once
#include <filesystem>
#include <functional>
#include <string>

#include "common/json.hpp"
#include "conductor/events.hpp"
#include "conductor/page_pipeline.hpp"
#include "conductor/pair_validation.hpp"
#include "conductor/partial_folder.hpp"
#include "engine/page_job.hpp"

namespace tesmira {
class CopyNames;
}

namespace tesmira::conductor {

// The image folder of one compared pair, built from its finished pages in page order: each
// page's "検版_NNN.png" (and "厳密比較_NNN.png" with the noise pass), its page report, and at the
// end the job report "検版情報.json" (version 1), published by one rename or removed.
class PairImages {
public:
    // A hidden partial folder in `parent`; `settings` normalized.
    PairImages(const std::filesystem::path& parent, std::string before_name, std::string after_name,
               const Json& settings);

    // The engine's settings for one page of the pair.
    engine::PageSettings page_settings(int page) const;

    // Runs the steps that fill and publish the folder; see PartialFolder::fill.
    template <class Steps>
    decltype(auto) fill(Steps&& steps) {
        return folder_.fill(std::forward<Steps>(steps));
    }

    // Takes the pair's `pages` from the pipeline in page order and writes each page's images,
    // sending its "progress" (the fields `position(page)` gives) before it is taken, as if the
    // pages ran one by one: a page's failure comes after its own "progress".
    void take_pages(PagePipeline& pipeline, int pages, const std::function<Json(int page)>& position,
                    const Progress& progress);
    // Writes the job report and gives the folder its final name `image_folder`.
    void publish(const std::filesystem::path& image_folder);

    // The page reports of the "complete" event, with where each page's regions are.
    const Json& reported_pages() const { return reported_; }

private:
    void add(engine::FinishedPage page);  // writes the next page's images and keeps its report

    PartialFolder folder_;
    std::string before_name_, after_name_;
    Json settings_;
    Json reports_ = Json::array(), reported_ = Json::array();  // the file's and the event's
};

// The pipeline's jobs for the pages of a validated pair: each page compared from the private
// copies `before` and `after` with the pair's page settings, failures naming the originals
// through `copies`, and its memory estimated from its size. `images` and `copies` must outlive
// the jobs.
std::vector<PagePipeline::Job> page_jobs(const std::filesystem::path& before, const std::filesystem::path& after,
                                         const ValidPair& pair, const PairImages& images, const CopyNames& copies);

}  // namespace tesmira::conductor
