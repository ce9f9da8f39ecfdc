#pragma once
#include <opencv2/core.hpp>

#include <optional>

#include "engine/compare.hpp"
#include "engine/ink_plates.hpp"
#include "engine/render.hpp"

namespace tesmira::engine {

// What comparing two pages on their plates adds to comparing how they look: the plates'
// difference for compare_arrays, and afterwards the notes on what their plates alone tell.
class InkComparison {
public:
    // For a pair drawn on its plates (render_pages); nullopt for one drawn on screen. "Differ" is
    // by more than `tolerance`. The pages' plates are released once compared.
    static std::optional<InkComparison> of(RenderedPage& before, RenderedPage& after, int tolerance);

    const PrintedPages& printed() const { return printed_; }

    // Tells on `result` (compare_arrays' result image of `compared`) how many of its regions
    // differ in ink alone, the pages looking alike there, and on which plates; and that the pages
    // look different on identical plates, and through which spot inks.
    void tell(cv::Mat& result, const CompareResult& compared, double dpi) const;

private:
    PlateComparison plates_;
    PrintedPages printed_;  // sharing the image of plates_
};

}  // namespace tesmira::engine
