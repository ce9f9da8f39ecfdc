#include "conductor/flat_pdf_export.hpp"

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
#include "conductor/multi_file_batch.hpp"
#include "conductor/names.hpp"
#include "conductor/page_regions.hpp"
#include "conductor/settings.hpp"
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

}  // namespace

void images_to_pdf(const std::vector<std::filesystem::path>& images, const std::filesystem::path& destination,
                   double dpi) {
    binder::write_images(images, destination, dpi, engine::MAX_OUTPUT_PIXELS);
}

std::vector<std::filesystem::path> export_flat_pdfs(const std::vector<std::filesystem::path>& before,
                                                    const std::vector<std::filesystem::path>& after,
                                                    const std::filesystem::path& output_root, const Json& settings,
                                                    const Progress& progress) {
    const Json normalized = normalized_settings(settings);
    const std::filesystem::path root = output_root_folder(output_root);

    PlacementCleanup placement;
    Json output_pages = Json::array();
    std::size_t group_count = 0;
    {
        TemporaryFolder temporary(EXPORT_FOLDER);
        Json batch_pages;  // the pages of the batch's "complete"
        const Progress forward = [&](const std::string& event, const Json& fields) {
            if (event == "complete")
                batch_pages = fields.at("pages");
            else
                progress(event, fields);
        };
        const std::filesystem::path image_folder = batch_many(before, after, temporary.path(), normalized, forward);
        // One pair's pages name no source: it is the one old file.
        const std::string single_source =
            before.size() == 1 ? resolved(before.front()).filename().string() : std::string();
        const std::vector<Group> groups = group_by_folder(batch_pages);
        group_count = groups.size();
        const std::string stamp = name_stamp();
        const bool grain = normalized.at("grain").get<bool>();
        const double dpi = normalized.at("dpi").get<double>();

        std::vector<std::pair<std::filesystem::path, std::filesystem::path>> pending;  // staged, final
        for (std::size_t g = 0; g < groups.size(); ++g) {
            const Group& group = groups[g];
            const Json source = group.pages.front().value("source_name", Json());
            const std::string source_name =
                source.is_string() && !source.get<std::string>().empty() ? source.get<std::string>() : single_source;
            const std::string tail = cleaned_stem(source_name, PDF_STEM_BYTES, "原稿") + "_" + stamp + "_" +
                                     three_digits(static_cast<long long>(g + 1)) + ".pdf";
            const std::string result_name = "検版_" + tail;
            const std::optional<std::string> strict_name =
                grain ? std::optional<std::string>("厳密比較_" + tail) : std::nullopt;

            for (const char* key : {"file", "strict_file"}) {
                const bool strict = std::string(key) == "strict_file";
                if (strict && !strict_name) continue;
                check_termination();
                std::vector<std::filesystem::path> images;
                for (const Json& page : group.pages) images.push_back(image_folder / page.at(key).get<std::string>());
                const std::string& name = strict ? *strict_name : result_name;
                images_to_pdf(images, temporary.path() / name, dpi);
                pending.emplace_back(stage_copy(temporary.path() / name, root, placement.staged), root / name);
            }
            for (Json page : group.pages) {
                const Json regions = take_page_regions(page);  // kept the last keys
                page["source_name"] = source_name;
                page["file"] = result_name;
                page["strict_file"] = strict_name ? Json(*strict_name) : Json();
                page.update(regions);
                output_pages.push_back(page);
            }
        }
        check_termination();
        for (const auto& [staged, final_path] : pending) {
            if (::link(staged.c_str(), final_path.c_str()) != 0) fail("cannot place result PDF", final_path);
            placement.linked.push_back(final_path);
        }
        placement.published = true;
        temporary.remove();
    }

    placement.finish();  // the staged names go; the published links stay
    Json pdfs = Json::array();
    for (const auto& path : placement.linked) pdfs.push_back(path.string());
    progress("complete",
             Json{{"output", root.string()}, {"pages", output_pages}, {"files", group_count}, {"pdfs", pdfs}});
    return placement.linked;
}

}  // namespace tesmira::conductor
