// The result images' compression: every deflate level on real result pages, their encoding
// time on one thread (its processor time, which a busy machine disturbs less than the clock)
// and their size, against the default level 6. Pages of the catalogue pair on screen and made
// for the press with JPEG photos, at 300 dpi, as bench/worker_vs_mutool.sh makes them:
//   result_compression [PAGES [ROUNDS]]
#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "codecs/image_file.hpp"
#include "common/allocator.hpp"
#include "engine/page_job.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/temp_folder.hpp"
#include "png/encoder.hpp"
#include "sample_document.hpp"

namespace fx = tesmira::fixtures;
namespace fs = std::filesystem;
using namespace tesmira::engine;

namespace {

// The banded result images of the first `pages` pages of a pair whose even pages changed.
std::vector<cv::Mat> result_images(int pages, bool press, int photo) {
    fx::TempFolder folder;
    const fs::path before = folder.path() / "before.pdf", after = folder.path() / "after.pdf";
    fx::Document old_document, new_document;
    const auto make_page = press ? tesmira::bench::press_catalogue_page : tesmira::bench::catalogue_page;
    for (int page = 1; page <= pages; ++page) {
        old_document.pages.push_back(make_page(page, false, photo));
        new_document.pages.push_back(make_page(page, page % 2 == 0, photo));
    }
    fx::write_pdf(old_document, before);
    fx::write_pdf(new_document, after);
    if (press)
        for (const fs::path& pdf : {before, after}) {
            tesmira::bench::add_press_resources(pdf);
            tesmira::bench::use_jpeg_photos(pdf);
        }
    std::vector<cv::Mat> images;
    for (int page = 1; page <= pages; ++page) {
        const tesmira::Json settings{{"page", page},
                                     {"dpi", 300},
                                     {"tolerance", 1},
                                     {"opacity", 10},
                                     {"border", 2},
                                     {"before_name", "catalogue_v1.pdf"},
                                     {"after_name", "catalogue_v2.pdf"},
                                     {"diagnostic_images", false}};
        const FinishedPage finished = finish_page(compare_page(before, after, read_page_settings(settings)));
        images.push_back(tesmira::codecs::decode_image(finished.result_png).pixels);
    }
    return images;
}

double thread_ms() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const char* name, const std::vector<cv::Mat>& images, int rounds) {
    std::printf("%s, %zu pages of %dx%d, encoding on one thread, median of %d rounds:\n",
                name,
                images.size(),
                images.front().cols,
                images.front().rows,
                rounds);
    std::printf("  level   ms/page   bytes/page   time vs 6   size vs 6\n");
    const std::vector<int> levels{1, 2, 3, 4, 5, 6, 7, 9};
    std::vector<double> times(levels.size()), sizes(levels.size());
    for (std::size_t l = 0; l < levels.size(); ++l) {
        std::vector<double> round_times;
        double bytes = 0;
        for (int round = 0; round < rounds; ++round) {
            const double start = thread_ms();
            bytes = 0;
            for (const cv::Mat& image : images) bytes += double(tesmira::png::encode_png(image, levels[l]).size());
            round_times.push_back(thread_ms() - start);
        }
        times[l] = median(round_times) / double(images.size());
        sizes[l] = bytes / double(images.size());
    }
    const std::size_t six = std::size_t(std::find(levels.begin(), levels.end(), 6) - levels.begin());
    for (std::size_t l = 0; l < levels.size(); ++l)
        std::printf("  %5d  %8.1f  %11.0f  %10.2f  %10.3f\n",
                    levels[l],
                    times[l],
                    sizes[l],
                    times[l] / times[six],
                    sizes[l] / sizes[six]);
}

}  // namespace

int main(int argc, char** argv) {
    const int pages = argc > 1 ? std::atoi(argv[1]) : 4;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    tesmira::reuse_freed_canvases();
    const std::vector<cv::Mat> screen = result_images(pages, false, 1000);
    const std::vector<cv::Mat> press = result_images(pages, true, 2000);
    cv::setNumThreads(1);  // what one page's thread does
    report("catalogue pair", screen, rounds);
    report("press pair with JPEG photos", press, rounds);
    return 0;
}
