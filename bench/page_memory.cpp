// What one page holds at its peak in page-sized buffers (the pool's blocks), in bytes a pixel
// of the page at 300 dpi: a page proven alike, a page compared, a page that prints differently
// compared on its plates too, each with the noise pass off and on. The page budget reckons
// with these figures (conductor/page_budget.cpp).
//   page_memory
#include <cstdio>
#include <filesystem>

#include "common/allocator.hpp"
#include "engine/page_job.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/temp_folder.hpp"
#include "sample_document.hpp"

namespace fx = tesmira::fixtures;
namespace fs = std::filesystem;
using namespace tesmira::engine;

namespace {

void measure(const char* name, bool press) {
    fx::TempFolder folder;
    const fs::path before = folder.path() / "before.pdf", after = folder.path() / "after.pdf";
    const auto make_page = press ? tesmira::bench::press_catalogue_page : tesmira::bench::catalogue_page;
    fx::write_pdf(fx::many_pages(1, make_page(1, false, press ? 2000 : 1000)), before);
    fx::write_pdf(fx::many_pages(1, make_page(1, true, press ? 2000 : 1000)), after);
    if (press)
        for (const fs::path& pdf : {before, after}) {
            tesmira::bench::add_press_resources(pdf);
            tesmira::bench::use_jpeg_photos(pdf);
        }
    for (const bool noise : {false, true}) {
        const PageSettings settings = read_page_settings(tesmira::Json{{"page", 1},
                                                                       {"dpi", 300},
                                                                       {"tolerance", 1},
                                                                       {"opacity", 10},
                                                                       {"border", 2},
                                                                       {"grain", noise},
                                                                       {"diagnostic_images", false}});
        for (const bool identical : {true, false}) {
            tesmira::reset_pooled_peak();
            const FinishedPage page = finish_page(identical ? compare_identical_page(before, before, settings)
                                                            : compare_page(before, after, settings));
            const double pixels = page.record.at("after").at("width_mm").get<double>() / 25.4 * 300 *
                                  page.record.at("after").at("height_mm").get<double>() / 25.4 * 300;
            std::printf("%-28s %-9s noise %-3s  peak %6.1f MB  %5.1f bytes a pixel\n",
                        name,
                        identical ? "alike" : "compared",
                        noise ? "on" : "off",
                        double(tesmira::pooled_memory().peak) / 1e6,
                        double(tesmira::pooled_memory().peak) / pixels);
        }
    }
}

}  // namespace

int main() {
    tesmira::reuse_freed_canvases();
    measure("catalogue page", false);
    measure("press page with JPEG photo", true);
    return 0;
}
