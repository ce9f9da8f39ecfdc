#pragma once
#include <opencv2/core.hpp>

namespace tesmira::grain {

// Side in pixels of the square over which signed differences must average out: about
// 1.5 mm, odd, at least 3.
int noise_window(int dpi);

// The scope pixels whose difference looks like rendering noise of a raster image: the
// largest channel difference is above `tolerance` and at most 2, and the local mean of
// every channel's signed difference stays within 0.5. `before` and `after` are CV_8UC3
// pages of one size, `scope` a CV_8U mask of that size (non-zero = in scope). Returns a
// CV_8U mask, 255 for a candidate. Refuses (UserError "Noise scope dimensions differ")
// pages of different shapes or not of three 8-bit channels, and a scope of another size.
cv::Mat noise_candidates(const cv::Mat& before, const cv::Mat& after, const cv::Mat& scope, int dpi, int tolerance = 1);

}  // namespace tesmira::grain
