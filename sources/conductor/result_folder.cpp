#include "conductor/result_folder.hpp"

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/random_id.hpp"
#include "common/termination.hpp"
#include "conductor/flat_pdf_export.hpp"
#include "conductor/partial_folder.hpp"

namespace tesmira::conductor {

std::vector<std::filesystem::path> export_pdfs(const std::vector<std::filesystem::path>& before,
                                               const std::vector<std::filesystem::path>& after,
                                               const std::filesystem::path& output_root, const Json& settings,
                                               const Progress& progress) {
    const std::filesystem::path root = output_root_folder(output_root);
    const std::filesystem::path result_folder = root / ("てすみら検版_" + name_stamp());

    Json captured = Json::object();
    PartialFolder building(root, PARTIAL_RESULT);
    const Progress forward = [&](const std::string& event, const Json& fields) {
        if (event == "complete")
            captured.update(fields);
        else
            progress(event, fields);
    };
    const std::vector<std::filesystem::path> placed = building.fill([&] {
        auto pdfs = export_flat_pdfs(before, after, building.path(), settings, forward);
        check_termination();
        // An item of the final name (a folder, a file or a link) is never replaced or merged into.
        try {
            building.publish(result_folder);
        } catch (const std::filesystem::filesystem_error& error) {
            if (error.code() == std::errc::file_exists)
                throw AlreadyExistsError("保存先が既に存在します。もう一度実行してください。");
            throw;
        }
        return pdfs;
    });

    std::vector<std::filesystem::path> final_paths;
    Json pdfs = Json::array();
    for (const auto& path : placed) {
        final_paths.push_back(result_folder / path.filename());
        pdfs.push_back(final_paths.back().string());
    }
    Json fields = captured;
    fields["output"] = result_folder.string();
    fields["pdfs"] = pdfs;
    progress("complete", fields);
    return final_paths;
}

}  // namespace tesmira::conductor
