#pragma once
#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tesmira::engine {

// The process inks in the order of a plate array's first four channels.
inline constexpr std::array<const char*, 4> PROCESS_INKS{"Cyan", "Magenta", "Yellow", "Black"};

// A spot ink: its name as the PDF gives it, and for each tint (0–255) the CMYK coverage
// (0–255 each) of its alternate colour, through which it shows on screen.
struct SpotInk {
    std::string name;
    std::array<std::array<std::uint8_t, 4>, 256> looks{};
};

// A page as the press prints it: the ink coverage of every plate at every pixel.
struct InkPlates {
    // CV_8UC(4 + spots.size()), the page's pixels: coverage 0–255 of C, M, Y, K, then of each
    // spot ink in the order of `spots`. 0 is bare paper.
    cv::Mat samples;
    std::vector<SpotInk> spots;
    std::shared_ptr<unsigned char> storage;  // of `samples`, when they are not their own
};

// How the plates look on screen: each spot ink through its alternate, laid over the process
// inks as inks combine (coverage 1 − ∏(1 − a)), then our CMYK conversion (cmyk_to_rgb.hpp).
// CV_8UC3, RGB.
cv::Mat shown_colours(const InkPlates& plates);
// The same for two pages, old and new: a row whose plates and inks are the same on both pages is
// converted once.
std::pair<cv::Mat, cv::Mat> shown_colours(const InkPlates& before, const InkPlates& after);

// Side of the square cells in which PlateComparison notes which inks differ.
inline constexpr int INK_CELL = 16;

// Two pages' plates compared, plates matched by ink name: an ink on one side only differs by
// its own coverage. Every image is of the pages' size.
struct PlateComparison {
    cv::Mat ink_difference;  // CV_8U: the largest plate difference of each pixel
    // The inks compared: process inks as PROCESS_INKS names them, then spot inks, each once, in
    // the order of the old page and then of the new one.
    std::vector<std::string> inks;
    // For each cell of INK_CELL pixels square, row by row, a bit for each ink (bit i for inks[i]):
    // in differing_inks, that its plates differ there; in restyled_inks, that it is a spot ink of
    // both pages whose alternate differs and that it covers some of the cell on either page.
    // restyled_inks is empty when no spot ink's alternate differs.
    int cell_columns = 0;
    std::vector<std::uint64_t> differing_inks, restyled_inks;

    // The inks that differ somewhere in the cells that `area` (page pixels) touches.
    std::vector<std::string> inks_differing_within(const cv::Rect& area) const;
    // The spot inks whose alternate differs and that cover some of the cells `area` touches.
    std::vector<std::string> inks_restyled_within(const cv::Rect& area) const;

private:
    std::vector<std::string> inks_within(const std::vector<std::uint64_t>& cells, const cv::Rect& area) const;
};

// Compares two pages' plates of one size; "differ" is by more than `tolerance`.
PlateComparison compare_plates(const InkPlates& before, const InkPlates& after, int tolerance);

}  // namespace tesmira::engine
