#include "conductor/export_pdfs.hpp"

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/termination.hpp"
#include "conductor/export_flat_pdfs.hpp"
#include "conductor/names.hpp"
#include "conductor/partial_folder.hpp"
#include "conductor/settings.hpp"

namespace tesmira::conductor {

namespace {

// An item of the final name (a folder, a file or a link) is never replaced or merged into.
void publish_result(PartialFolder& building, const std::filesystem::path& result_folder) {
    try {
        building.publish(result_folder);
    } catch (const std::filesystem::filesystem_error& error) {
        if (error.code() == std::errc::file_exists)
            throw AlreadyExistsError("保存先が既に存在します。もう一度実行してください。");
        throw;
    }
}

}  // namespace

std::vector<std::filesystem::path> export_pdfs(const std::vector<std::filesystem::path>& before,
                                               const std::vector<std::filesystem::path>& after,
                                               const std::filesystem::path& output_root, const Json& settings,
                                               const Progress& progress) {
    const std::filesystem::path root = output_root_folder(output_root);
    const std::filesystem::path result_folder = stamped_run_folder(root);
    const Json normalized = normalized_settings(settings);

    PartialFolder building(root, PARTIAL_RESULT);
    const PlacedPdfs placed = building.fill([&] {
        PlacedPdfs pdfs = export_flat_pdfs(before, after, building.path(), normalized, progress);
        check_termination();
        publish_result(building, result_folder);
        return pdfs;
    });

    std::vector<std::filesystem::path> final_paths;
    Json pdfs = Json::array();
    for (const auto& path : placed.paths) {
        final_paths.push_back(result_folder / path.filename());
        pdfs.push_back(final_paths.back().string());
    }
    progress(
        "complete",
        Json{{"output", result_folder.string()}, {"pages", placed.pages}, {"files", placed.files}, {"pdfs", pdfs}});
    return final_paths;
}

}  // namespace tesmira::conductor
