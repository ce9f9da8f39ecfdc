#include "conductor/pairing.hpp"

#include <algorithm>
#include <map>
#include <string>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/unicode.hpp"
#include "conductor/names.hpp"

namespace tesmira::conductor {
namespace {

constexpr std::size_t MAX_FILES = 100;

std::string ascii_lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    return text;
}

// The path with its empty and "." components left out, as the pairing names files: "B/z.pdf/"
// and "B/./z.pdf/." both end in "z.pdf". ".." stays, as it may pass through a link.
std::filesystem::path without_dot_components(const std::filesystem::path& path) {
    std::filesystem::path result = path.root_path();
    for (const auto& component : path.relative_path())
        if (!component.empty() && component != ".") result /= component;
    return result;
}

// Document name to path; std::map keeps the names in code point order (UTF-8 byte order).
std::map<std::string, std::filesystem::path> side_map(const std::vector<std::filesystem::path>& paths,
                                                      const std::string& label) {
    if (paths.empty() || paths.size() > MAX_FILES) throw UserError(label + "のPDFは1〜100ファイルにしてください。");
    std::map<std::string, std::filesystem::path> names;
    for (const auto& path : paths) {
        const std::filesystem::path absolute = absolute_path(without_dot_components(path));
        const std::string file_name = absolute.filename().string();
        if (ascii_lower(name_suffix(file_name)) != ".pdf") throw UserError("PDF以外のファイルが含まれています。");
        const std::string name = nfc(file_name);
        if (names.count(name)) throw UserError(label + "に同名ファイルが重複しています: " + name);
        names.emplace(name, absolute);
    }
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
    if (old_names.size() == 1 && new_names.size() == 1) return {{old_names.begin()->second, new_names.begin()->second}};

    std::vector<std::string> only_old, only_new;
    for (const auto& [name, path] : old_names)
        if (!new_names.count(name)) only_old.push_back(name);
    for (const auto& [name, path] : new_names)
        if (!old_names.count(name)) only_new.push_back(name);
    if (!only_old.empty() || !only_new.empty()) {
        std::string message = "同名の相手が見つかりません。";
        if (!only_old.empty()) message += "\n変更前だけ: " + joined_names(only_old);
        if (!only_new.empty()) message += "\n変更後だけ: " + joined_names(only_new);
        throw UserError(message);
    }
    std::vector<PdfPair> pairs;
    for (const auto& [name, path] : old_names) pairs.emplace_back(path, new_names.at(name));
    return pairs;
}

}  // namespace tesmira::conductor
