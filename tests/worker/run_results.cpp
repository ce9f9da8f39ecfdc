#include "run_results.hpp"

#include <algorithm>
#include <cstdlib>
#include <regex>

#include "engine/image_reading.hpp"

namespace fs = std::filesystem;

namespace tesmira::worker_tests {

std::vector<std::string> comparable(const Outcome& run) {
    static const std::regex stamp("[0-9]{8}_[0-9]{6}_[0-9a-f]{8}"), seconds("\"seconds\": [0-9.e+-]+");
    std::vector<std::string> lines;
    for (const std::string& line : run.lines)
        lines.push_back(std::regex_replace(std::regex_replace(line, stamp, "STAMP"), seconds, "\"seconds\": 0"));
    return lines;
}

std::vector<cv::Mat> result_pages(const Outcome& run, const fs::path& scratch, int dpi) {
    std::vector<cv::Mat> pages;
    const Json& complete = run.last();
    for (const Json& pdf : complete.at("pdfs")) {
        // The reports of this PDF's pages, as a result or as a strict twin.
        const std::string name = fs::path(pdf.get<std::string>()).filename().string();
        std::vector<int> bands;
        for (const Json& report : complete.at("pages"))
            if (report.at("file") == name || report.at("strict_file") == name)
                bands.push_back(report.at("header_height").get<int>());
        const fs::path prefix = scratch / ("page" + std::to_string(pages.size()));
        const std::string command =
            "pdftoppm -r " + std::to_string(dpi) + " -png '" + pdf.get<std::string>() + "' '" + prefix.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        std::vector<fs::path> images;
        for (const auto& entry : fs::directory_iterator(scratch))
            if (entry.path().filename().string().rfind(prefix.filename().string() + "-", 0) == 0)
                images.push_back(entry.path());
        std::sort(images.begin(), images.end());
        EXPECT_EQ(images.size(), bands.size()) << name;
        for (std::size_t i = 0; i < images.size() && i < bands.size(); ++i) {
            const fs::path& image = images[i];
            const cv::Mat whole = engine::read_flattened_rgb(image);
            const int band = bands[i];
            pages.push_back(whole.rowRange(band, whole.rows).clone());
            fs::remove(image);
        }
    }
    return pages;
}

}  // namespace tesmira::worker_tests
