#pragma once
#include <opencv2/core.hpp>

#include <filesystem>
#include <optional>

#include "engine/compare.hpp"
#include "engine/ink_plates.hpp"
#include "engine/render.hpp"

namespace tesmira::engine {

// What comparing two pages as they print adds to comparing them as they look: their plates'
// difference and the new page's look for compare_arrays, and afterwards the note on the regions
// that differ in ink alone.
class InkComparison {
public:
    // For a pair in which either page prints differently from how it looks; nullopt otherwise.
    // A page that prints as it looks has its plates drawn from its PDF now. "Differ" is by more
    // than `tolerance`. The pages' plates are released once compared.
    static std::optional<InkComparison> of(RenderedPage& before, RenderedPage& after,
                                           const std::filesystem::path& before_pdf,
                                           const std::filesystem::path& after_pdf, int page_number, double dpi,
                                           int tolerance);

    const PrintedPages& printed() const { return printed_; }

    // Tells on `result` (compare_arrays' result image of `compared`) how many of its regions
    // differ in ink alone, neither on screen nor in their plates' look, and on which plates.
    void note_ink_only(cv::Mat& result, const CompareResult& compared, double dpi) const;

private:
    PlateComparison plates_;
    PrintedPages printed_;  // sharing the images of plates_
};

}  // namespace tesmira::engine
