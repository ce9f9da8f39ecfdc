#pragma once
#include <opencv2/core.hpp>

#include <algorithm>

#include "common/processor_share.hpp"

namespace tesmira::engine {

// Rows per strip of the page-wide steps: no temporary of more than one channel covers more.
inline constexpr int STRIP_ROWS = 128;

// Calls `f` with every strip of STRIP_ROWS rows of `rows`: in parallel on OpenCV's thread pool
// while processors are to spare (common/processor_share.hpp), on this thread otherwise. Strips
// are independent of one another; each strip's temporaries are local to it.
template <typename F>
void for_each_strip(int rows, F&& f) {
    const int strips = (rows + STRIP_ROWS - 1) / STRIP_ROWS;
    const auto run = [&](const cv::Range& range) {
        for (int strip = range.start; strip < range.end; ++strip)
            f(cv::Range(strip * STRIP_ROWS, std::min(rows, (strip + 1) * STRIP_ROWS)));
    };
    if (processors_to_spare())
        cv::parallel_for_(cv::Range(0, strips), run);
    else
        run(cv::Range(0, strips));
}

}  // namespace tesmira::engine
