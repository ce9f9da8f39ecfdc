#include "vault/uncommitted_result.hpp"

#include <set>
#include <system_error>

#include "common/errors.hpp"
#include "common/files.hpp"

namespace tesmira::vault {

namespace fs = std::filesystem;

UncommittedResult::UncommittedResult(const fs::path& output_root)
    : root_(output_root_folder(output_root)), folder_(new_item_name(root_, UNCOMMITTED_RESULT)), owner_(folder_) {
    make_folder(folder_);
}

UncommittedResult::~UncommittedResult() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

fs::path UncommittedResult::moved(const fs::path& path) const { return root_ / path.lexically_relative(folder_); }

std::vector<fs::path> UncommittedResult::publish(const std::vector<fs::path>& exported) {
    std::set<fs::path> results;
    for (const fs::path& pdf : exported) results.insert(pdf.parent_path());
    for (const fs::path& result : results) try {
            rename_no_replace(result, moved(result));
        } catch (const fs::filesystem_error& error) {
            if (error.code() == std::errc::file_exists)
                throw AlreadyExistsError("保存先が既に存在します。もう一度実行してください。");
            throw;
        }
    std::vector<fs::path> placed;
    for (const fs::path& pdf : exported) placed.push_back(moved(pdf));
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

}  // namespace tesmira::vault
