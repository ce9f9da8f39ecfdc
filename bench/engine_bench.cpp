// Times the page comparison steps (the changes and their words among them) on a realistic A4
// pair at 300 dpi and prints the process's peak memory. With --press the pair is made for the
// press (CMYK, a spot ink, overprint) and the steps of its plates are timed too. With --png FILE
// it also writes the annotated result image.
#include <opencv2/imgproc.hpp>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/allocator.hpp"
#include "engine/band.hpp"
#include "engine/compare.hpp"
#include "engine/page_changes.hpp"
#include "engine/page_job.hpp"
#include "engine/render.hpp"
#include "engine/tiny_marks.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/temp_folder.hpp"
#include "png/encoder.hpp"
#include "sample_document.hpp"

namespace fx = tesmira::fixtures;
using namespace tesmira::engine;

namespace {

double median_ms(int runs, const std::function<void()>& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        f();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::string png;
    bool reuse = true, press = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--png" && i + 1 < argc)
            png = argv[++i];
        else if (arg == "--no-reuse")
            reuse = false;
        else if (arg == "--press")
            press = true;
    }
    fx::TempFolder folder;
    const auto before_pdf = folder.path() / "before.pdf", after_pdf = folder.path() / "after.pdf";
    const auto make_page = press ? tesmira::bench::press_catalogue_page : tesmira::bench::catalogue_page;
    fx::write_pdf(fx::many_pages(1, make_page(1, false, 1500)), before_pdf);
    fx::write_pdf(fx::many_pages(1, make_page(1, true, 1500)), after_pdf);
    if (press)
        for (const auto& pdf : {before_pdf, after_pdf}) tesmira::bench::add_press_resources(pdf);

    if (reuse) tesmira::reuse_freed_canvases();
    const tesmira::Json settings{{"dpi", 300}, {"before_name", "catalogue_v1.pdf"}, {"after_name", "catalogue_v2.pdf"}};
    const tesmira::engine::BandSettings band_settings = tesmira::engine::read_band_settings(settings);

    // One pass as a page job makes it, for the peak memory of one page pair.
    {
        RenderedPage b = render_pdf(before_pdf, 1, 300);
        RenderedPage a = render_pdf(after_pdf, 1, 300);
        CompareResult c = compare_arrays(b.pixels, a.pixels);
        MarkedImage m = mark_tiny_changes(c.result, c.mask, 300);
        AnnotatedImage banded = annotate_result(m.image, band_settings, tesmira::tokyo_now());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peak_mb = usage.ru_maxrss / 1024.0;

    const int runs = 7;
    RenderedPage before, after;
    const double render_before = median_ms(runs, [&] { before = render_pdf(before_pdf, 1, 300); });
    const double render_after = median_ms(runs, [&] { after = render_pdf(after_pdf, 1, 300); });
    CompareResult compared;
    const double compare = median_ms(runs, [&] { compared = compare_arrays(before.pixels, after.pixels); });
    MarkedImage marked;
    const double tiny = median_ms(runs, [&] { marked = mark_tiny_changes(compared.result, compared.mask, 300); });
    PageChanges changes;
    const double words =
        median_ms(runs, [&] { changes = find_changes(before_pdf, after_pdf, 1, 300, compared.region_boxes); });
    AnnotatedImage annotated;
    const double band =
        median_ms(runs, [&] { annotated = annotate_result(marked.image, band_settings, tesmira::tokyo_now()); });

    std::printf("allocator reuses freed canvases: %s\n", reuse ? "yes" : "no");
    std::printf("page %dx%d px, %d regions, %d tiny components\n",
                before.pixels.cols,
                before.pixels.rows,
                compared.stats.regions,
                marked.marks.tiny_components);
    std::printf("render_pdf before   %8.1f ms (median of %d)\n", render_before, runs);
    std::printf("render_pdf after    %8.1f ms\n", render_after);
    std::printf("compare_arrays      %8.1f ms\n", compare);
    std::printf("mark_tiny_changes   %8.1f ms\n", tiny);
    std::printf(
        "find_changes        %8.1f ms  (%zu changes with the words of both pages)\n", words, changes.listed.size());
    std::printf("annotate_result     %8.1f ms\n", band);
    std::printf("peak memory, one page pair %5.1f MB\n", peak_mb);
    if (before.plates && after.plates) {
        const double inks = median_ms(runs, [&] { compare_plates(*before.plates, *after.plates, 1); });
        const double shown = median_ms(runs, [&] { shown_colours(*after.plates); });
        std::printf("compare_plates      %8.1f ms\n", inks);
        std::printf("shown_colours       %8.1f ms  (inside render_pdf, for a page on its plates)\n", shown);
    }

    // A whole page job, against the two renders inside it, in the same run.
    tesmira::Json job_settings = settings;
    job_settings.update(
        tesmira::Json{{"page", 1}, {"tolerance", 1}, {"opacity", 10}, {"border", 2}, {"diagnostic_images", false}});
    const double renders = median_ms(runs, [&] {
        render_pdf(before_pdf, 1, 300);
        render_pdf(after_pdf, 1, 300);
    });
    const double job = median_ms(runs, [&] { run_job(folder.path(), job_settings); });
    job_settings["grain"] = true;
    const double job_noise = median_ms(runs, [&] { run_job(folder.path(), job_settings); });
    std::printf("two render_pdf      %8.1f ms\n", renders);
    std::printf("run_job, noise off  %8.1f ms  (%.2f x the two renders)\n", job, job / renders);
    std::printf("run_job, noise on   %8.1f ms  (%.2f x the two renders)\n", job_noise, job_noise / renders);
    if (!png.empty()) tesmira::png::write_png(png, annotated.canvas);
    return 0;
}
