#include "conductor/pairing.hpp"

#include <algorithm>
#include <map>
#include <string>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/input_limits.hpp"
#include "common/name_pairing.hpp"
#include "common/unicode.hpp"
#include "conductor/names.hpp"

namespace tesmira::conductor {
namespace {

// The path with its empty and "." components left out, as the pairing names files: "B/z.pdf/"
// and "B/./z.pdf/." both end in "z.pdf". ".." stays, as it may pass through a link.
std::filesystem::path without_dot_components(const std::filesystem::path& path) {
    std::filesystem::path result = path.root_path();
    for (const auto& component : path.relative_path())
        if (!component.empty() && component != ".") result /= component;
    return result;
}

// A side's document names and paths, checked; std::map keeps the names in code point order
// (UTF-8 byte order).
std::map<std::string, std::filesystem::path> side_map(const std::vector<std::filesystem::path>& paths,
                                                      const std::string& label) {
    if (paths.empty() || paths.size() > MAX_FILES_PER_SIDE)
        throw UserError(label + "のPDFは1〜100ファイルにしてください。");
    std::vector<std::string> names;
    std::map<std::string, std::filesystem::path> documents;
    for (const auto& path : paths) {
        const std::filesystem::path absolute = absolute_path(without_dot_components(path));
        const std::string file_name = absolute.filename().string();
        if (!is_pdf_name(file_name)) throw UserError("PDF以外のファイルが含まれています。");
        names.push_back(nfc(file_name));
        documents.emplace(names.back(), absolute);
    }
    const std::vector<std::string> repeated = repeated_names(names);
    if (!repeated.empty()) throw UserError(label + "に同名ファイルが重複しています: " + repeated.front());
    return documents;
}

std::vector<std::string> names_of(const std::map<std::string, std::filesystem::path>& documents) {
    std::vector<std::string> names;
    for (const auto& [name, path] : documents) names.push_back(name);
    return names;
}

std::string joined_names(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : "、") + name;
    return text;
}

}  // namespace

std::vector<PdfPair> match_files(const std::vector<std::filesystem::path>& before,
                                 const std::vector<std::filesystem::path>& after) {
    const auto old_names = side_map(before, "変更前");
    const auto new_names = side_map(after, "変更後");
    const NamePairing pairing = pair_by_name(names_of(old_names), names_of(new_names));
    if (!pairing.pairs()) {
        std::string message = "同名の相手が見つかりません。";
        if (!pairing.only_before.empty()) message += "\n変更前だけ: " + joined_names(pairing.only_before);
        if (!pairing.only_after.empty()) message += "\n変更後だけ: " + joined_names(pairing.only_after);
        throw UserError(message);
    }
    if (old_names.size() == 1) return {{old_names.begin()->second, new_names.begin()->second}};
    std::vector<PdfPair> pairs;
    for (const auto& [name, path] : old_names) pairs.emplace_back(path, new_names.at(name));
    return pairs;
}

}  // namespace tesmira::conductor
