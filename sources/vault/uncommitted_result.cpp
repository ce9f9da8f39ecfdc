#include "vault/uncommitted_result.hpp"

#include <set>
#include <system_error>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/random_id.hpp"

namespace tesmira::vault {

namespace fs = std::filesystem;

UncommittedResult::UncommittedResult(const fs::path& output_root)
    : root_(output_root_folder(output_root)), folder_(new_item_name(root_, UNCOMMITTED_RESULT)), owner_(folder_) {
    make_folder(folder_);
}

UncommittedResult::~UncommittedResult() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    if (!kept_)
        for (const fs::path& result : published_) remove_published(result);
}

fs::path UncommittedResult::moved(const fs::path& path) const { return root_ / path.lexically_relative(folder_); }

std::vector<fs::path> UncommittedResult::publish(const std::vector<fs::path>& exported,
                                                 const std::function<void(const fs::path&)>& before_move) {
    std::set<fs::path> results;
    for (const fs::path& pdf : exported)
        if (pdf.parent_path().parent_path() == folder_) results.insert(pdf.parent_path());
    for (const fs::path& result : results) {
        const fs::path target = moved(result);
        before_move(target);
        try {
            rename_no_replace(result, target);
        } catch (const fs::filesystem_error& error) {
            if (error.code() == std::errc::file_exists)
                throw AlreadyExistsError("保存先が既に存在します。もう一度実行してください。");
            throw;
        }
        published_.push_back(target);
    }
    // The moves reach the disk before the commit that they go with.
    if (!results.empty()) sync_folder(root_);
    std::vector<fs::path> placed;
    for (const fs::path& pdf : exported) placed.push_back(results.count(pdf.parent_path()) ? moved(pdf) : pdf);
    return placed;
}

Json UncommittedResult::published_fields(Json fields) const {
    if (fields.contains("output") && fields["output"].is_string())
        fields["output"] = moved(fields["output"].get<std::string>()).string();
    if (fields.contains("pdfs") && fields["pdfs"].is_array())
        for (Json& pdf : fields["pdfs"])
            if (pdf.is_string()) pdf = moved(pdf.get<std::string>()).string();
    return fields;
}

void UncommittedResult::remove_published(const fs::path& result_folder) noexcept {
    std::error_code error;
    const fs::path parent = result_folder.parent_path();
    if (!is_stamped_folder_name(result_folder.filename().string()) || fs::weakly_canonical(parent, error) != parent ||
        error || !fs::is_directory(fs::symlink_status(result_folder, error)))
        return;
    fs::remove_all(result_folder, error);
}

}  // namespace tesmira::vault
