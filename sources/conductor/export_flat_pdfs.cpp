#include "conductor/export_flat_pdfs.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <system_error>

#include "binder/write_images.hpp"
#include "common/descriptor.hpp"
#include "common/random_id.hpp"
#include "common/termination.hpp"
#include "conductor/batch_many.hpp"
#include "conductor/names.hpp"
#include "conductor/page_regions.hpp"
#include "engine/limits.hpp"

namespace tesmira::conductor {
namespace {

constexpr std::size_t PDF_STEM_BYTES = 160;

[[noreturn]] void fail(const char* what, const std::filesystem::path& path) {
    throw std::filesystem::filesystem_error(what, path, std::error_code(errno, std::generic_category()));
}

// Removes what an unfinished export placed in the output root.
struct PlacementCleanup {
    std::vector<std::filesystem::path> staged, linked;
    bool published = false;
    // After success the staged names go, and a failure to remove one is reported, so that no
    // hidden copy stays in a published folder unnoticed.
    void finish() {
        for (const auto& path : staged) std::filesystem::remove(path);
        staged.clear();
    }
    ~PlacementCleanup() {  // unwinding: silent, as the first failure is the one to report
        std::error_code ignored;
        for (const auto& path : staged) std::filesystem::remove(path, ignored);
        if (!published)
            for (const auto& path : linked) std::filesystem::remove(path, ignored);
    }
};

// A hidden, exclusively created file in `folder` that receives the PDF of the images, synced.
std::filesystem::path stage_pdf(const std::vector<std::string>& images, const std::filesystem::path& folder, double dpi,
                                std::vector<std::filesystem::path>& staged) {
    const std::filesystem::path path = folder / (".tesmira-" + uuid4_hex() + ".pdf");
    Descriptor out(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out.valid()) fail("cannot create", path);
    staged.push_back(path);
    try {
        images_to_pdf(std::vector<std::string_view>(images.begin(), images.end()), out.get(), dpi);
    } catch (const std::filesystem::filesystem_error&) {
        throw;
    } catch (const std::system_error& error) {
        // The file that could not be written is named, so that a full disk is told with its folder.
        throw std::filesystem::filesystem_error(error.what(), path, error.code());
    }
    if (::fsync(out.get()) != 0) fail("cannot sync", path);
    if (::close(out.release()) != 0) fail("cannot write", path);
    return path;
}

// A source file's PDFs, bound and staged, with its page reports.
struct BoundPair {
    std::string source_name;
    Json pages;
    std::filesystem::path result;
    std::optional<std::filesystem::path> strict;  // with the noise pass
};

// A source file's PDFs: the result PDF and, with the noise pass, the strict PDF.
struct PdfNames {
    std::string result;
    std::optional<std::string> strict;
};

PdfNames pdf_names(const std::string& source_name, const std::string& stamp, std::size_t number, bool noise) {
    const std::string tail = cleaned_stem(source_name, PDF_STEM_BYTES, "原稿") + "_" + stamp + "_" +
                             three_digits(static_cast<long long>(number)) + ".pdf";
    PdfNames names;
    names.result = "検版_" + tail;
    if (noise) names.strict = "厳密比較_" + tail;
    return names;
}

// The pair's page reports as the run reports them: naming the PDFs, their regions last.
void add_pdf_pages(Json& pages, const BoundPair& pair, const PdfNames& names) {
    for (Json page : pair.pages) {
        const Json regions = take_page_regions(page);
        page["source_name"] = pair.source_name;
        page["file"] = names.result;
        page["strict_file"] = names.strict ? Json(*names.strict) : Json();
        page.update(regions);
        pages.push_back(page);
    }
}

using Pending = std::vector<std::pair<std::filesystem::path, std::filesystem::path>>;  // staged, final

// Every staged PDF linked under its final name, or a failure naming the one that was not.
void link_all(const Pending& pending, PlacementCleanup& placement) {
    for (const auto& [staged, final_path] : pending) {
        if (::link(staged.c_str(), final_path.c_str()) != 0) fail("cannot place result PDF", final_path);
        placement.linked.push_back(final_path);
    }
    placement.published = true;
}

}  // namespace

void images_to_pdf(const std::vector<std::string_view>& images, int descriptor, double dpi) {
    binder::write_images(images, descriptor, dpi, engine::MAX_OUTPUT_PIXELS);
}

PlacedPdfs export_flat_pdfs(const std::vector<std::filesystem::path>& before,
                            const std::vector<std::filesystem::path>& after, const std::filesystem::path& root,
                            const Json& settings, const Progress& progress) {
    PlacementCleanup placement;
    const bool noise = settings.at("grain").get<bool>();
    const double dpi = settings.at("dpi").get<double>();
    std::vector<BoundPair> bound;
    const auto bind = [&](ComparedPair pair) {
        check_termination();
        BoundPair pdfs{std::move(pair.source_name), std::move(pair.pages), {}, {}};
        pdfs.result = stage_pdf(pair.result_images, root, dpi, placement.staged);
        pair.result_images.clear();
        if (noise) pdfs.strict = stage_pdf(pair.strict_images, root, dpi, placement.staged);
        bound.push_back(std::move(pdfs));
    };
    batch_many(before, after, settings, bind, progress);

    // The names carry a stamp taken once the whole comparison is done.
    const std::string stamp = name_stamp();
    PlacedPdfs placed;
    placed.files = bound.size();
    Pending pending;
    for (std::size_t i = 0; i < bound.size(); ++i) {
        const PdfNames names = pdf_names(bound[i].source_name, stamp, i + 1, noise);
        pending.emplace_back(bound[i].result, root / names.result);
        if (names.strict) pending.emplace_back(*bound[i].strict, root / *names.strict);
        add_pdf_pages(placed.pages, bound[i], names);
    }
    check_termination();
    link_all(pending, placement);
    placement.finish();  // the staged names go; the published links stay
    placed.paths = placement.linked;
    return placed;
}

}  // namespace tesmira::conductor
