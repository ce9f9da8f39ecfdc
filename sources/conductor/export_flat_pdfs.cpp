#include "conductor/export_flat_pdfs.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <system_error>

#include "binder/write_images.hpp"
#include "common/errors.hpp"
#include "common/files.hpp"
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

struct Group {
    std::string key;
    std::vector<Json> pages;
};

// Pages grouped by the folder part of their image's name: one group per source file.
std::vector<Group> group_by_folder(const Json& pages) {
    std::vector<Group> groups;
    for (const Json& page : pages) {
        const std::filesystem::path file = page.at("file").get<std::string>();
        const std::string key = file.has_parent_path() ? file.parent_path().string() : ".";
        auto it = std::find_if(groups.begin(), groups.end(), [&](const Group& g) { return g.key == key; });
        if (it == groups.end()) it = groups.insert(groups.end(), Group{key, {}});
        it->pages.push_back(page);
    }
    return groups;
}

// A hidden, exclusively created file in `folder` that receives one finished PDF, synced.
std::filesystem::path stage_copy(const std::filesystem::path& pdf, const std::filesystem::path& folder,
                                 std::vector<std::filesystem::path>& staged) {
    const std::filesystem::path staged_path = folder / (".tesmira-" + uuid4_hex() + ".pdf");
    copy_content(pdf, staged_path, true, [&] { staged.push_back(staged_path); });
    return staged_path;
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

// A source file's PDFs: the result PDF and, with the noise pass, the strict PDF.
struct PdfNames {
    std::string source_name, result;
    std::optional<std::string> strict;
};

// One pair's pages name no source (`single_source` is then the one old file's name).
PdfNames pdf_names(const Group& group, const std::string& single_source, const std::string& stamp, std::size_t number,
                   bool noise) {
    const Json source = group.pages.front().value("source_name", Json());
    PdfNames names;
    names.source_name =
        source.is_string() && !source.get<std::string>().empty() ? source.get<std::string>() : single_source;
    const std::string tail = cleaned_stem(names.source_name, PDF_STEM_BYTES, "原稿") + "_" + stamp + "_" +
                             three_digits(static_cast<long long>(number)) + ".pdf";
    names.result = "検版_" + tail;
    if (noise) names.strict = "厳密比較_" + tail;
    return names;
}

using Pending = std::vector<std::pair<std::filesystem::path, std::filesystem::path>>;  // staged, final

// Binds the group's result images (then its strict images) into its PDFs in the temporary
// folder and stages a copy of each in `root`.
void bind_group(const Group& group, const PdfNames& names, const std::filesystem::path& image_folder,
                const std::filesystem::path& temporary, const std::filesystem::path& root, double dpi,
                PlacementCleanup& placement, Pending& pending) {
    for (const char* key : {"file", "strict_file"}) {
        const bool strict = std::string(key) == "strict_file";
        if (strict && !names.strict) continue;
        check_termination();
        std::vector<std::filesystem::path> images;
        for (const Json& page : group.pages) images.push_back(image_folder / page.at(key).get<std::string>());
        const std::string& name = strict ? *names.strict : names.result;
        images_to_pdf(images, temporary / name, dpi);
        pending.emplace_back(stage_copy(temporary / name, root, placement.staged), root / name);
    }
}

// The group's page reports as the run reports them: naming the PDFs, their regions last.
void add_pdf_pages(Json& pages, const Group& group, const PdfNames& names) {
    for (Json page : group.pages) {
        const Json regions = take_page_regions(page);
        page["source_name"] = names.source_name;
        page["file"] = names.result;
        page["strict_file"] = names.strict ? Json(*names.strict) : Json();
        page.update(regions);
        pages.push_back(page);
    }
}

// Every staged PDF linked under its final name, or a failure naming the one that was not.
void link_all(const Pending& pending, PlacementCleanup& placement) {
    for (const auto& [staged, final_path] : pending) {
        if (::link(staged.c_str(), final_path.c_str()) != 0) fail("cannot place result PDF", final_path);
        placement.linked.push_back(final_path);
    }
    placement.published = true;
}

}  // namespace

void images_to_pdf(const std::vector<std::filesystem::path>& images, const std::filesystem::path& destination,
                   double dpi) {
    binder::write_images(images, destination, dpi, engine::MAX_OUTPUT_PIXELS);
}

PlacedPdfs export_flat_pdfs(const std::vector<std::filesystem::path>& before,
                            const std::vector<std::filesystem::path>& after, const std::filesystem::path& root,
                            const Json& settings, const Progress& progress) {
    PlacementCleanup placement;
    PlacedPdfs placed;
    {
        TemporaryFolder temporary(EXPORT_FOLDER);
        const ComparedRun run = batch_many(before, after, temporary.path(), settings, progress);
        const std::string single_source =
            before.size() == 1 ? resolved(before.front()).filename().string() : std::string();
        const std::vector<Group> groups = group_by_folder(run.pages);
        placed.files = groups.size();
        const std::string stamp = name_stamp();
        const bool noise = settings.at("grain").get<bool>();
        const double dpi = settings.at("dpi").get<double>();
        Pending pending;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            const PdfNames names = pdf_names(groups[g], single_source, stamp, g + 1, noise);
            bind_group(groups[g], names, run.image_folder, temporary.path(), root, dpi, placement, pending);
            add_pdf_pages(placed.pages, groups[g], names);
        }
        check_termination();
        link_all(pending, placement);
        temporary.remove();
    }
    placement.finish();  // the staged names go; the published links stay
    placed.paths = placement.linked;
    return placed;
}

}  // namespace tesmira::conductor
