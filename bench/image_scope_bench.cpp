// How the image-only scope grows with the images placed over one another: pages of N
// whole-page placements, each its own image, every one cut by all the others, for N from 250
// to 1999. Time in proportion to N shows as a steady time per placement; cutting them one by
// one grew with N² and took many minutes at 1999.
// Usage: image_scope_bench [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fixtures/pdf_builder.hpp"
#include "fixtures/temp_folder.hpp"
#include "grain/image_only_scope.hpp"

namespace fx = tesmira::fixtures;

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const fx::TempFolder folder;
    std::printf("image-only scope of a 1600 x 1600 pixel page, median of %d\n", rounds);
    std::printf("%12s %12s %16s\n", "placements", "seconds", "ms per placement");
    for (const int count : {250, 500, 1000, 1999}) {
        fx::Page page;
        page.media = {0, 0, 200, 200};
        for (int i = 0; i < count; ++i) page.content += fx::draw_image(0, 200, 0, 0, 200, i * 0.001, 0);
        page.images.push_back(fx::checkerboard(8, 8));
        fx::Document document;
        document.pages.push_back(page);
        const auto path = folder.path() / ("crowded-" + std::to_string(count) + ".pdf");
        fx::write_pdf(document, path);
        std::vector<double> seconds;
        for (int round = 0; round < rounds; ++round) {
            const auto started = std::chrono::steady_clock::now();
            const auto scope = tesmira::grain::image_only_scope(path, path, 1, 1600, 1600, 144);
            seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
            if (scope.stats.matched_images != count) {
                std::fprintf(stderr, "%d placements matched, %d expected\n", scope.stats.matched_images, count);
                return 1;
            }
        }
        std::sort(seconds.begin(), seconds.end());
        const double median = seconds[seconds.size() / 2];
        std::printf("%12d %12.3f %16.3f\n", count, median, median * 1000 / count);
    }
    return 0;
}
