#pragma once
#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace tesmira::engine {

// Tells in the white margin under the page of a result image (CV_8UC3, canvas pixels) that
// `regions` of its outlined regions differ in ink alone, and on which plates (names as
// plates_differing gives them): "見た目は同じで版だけが異なる変更が2か所あります（C版・特色「X」）".
// It is set in the band's face at the band's size for `dpi`, shortened to fit the margin's
// width, and never drawn over the page. Nothing when `regions` is 0.
void note_ink_only_changes(cv::Mat& result, int regions, const std::vector<std::string>& plates, double dpi);

// Tells in the white margin above the page of a result image, in the same way, that the page
// looks different in `places` where its plates are the same, through the alternates of the spot
// inks `inks`: "版は同じで、特色「Gold」の表示色だけが異なります。". Nothing when `places` is 0.
void note_look_only_changes(cv::Mat& result, int places, const std::vector<std::string>& inks, double dpi);

}  // namespace tesmira::engine
