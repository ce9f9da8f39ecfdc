#include "conductor/names.hpp"

#include <cstdio>

#include "common/random_id.hpp"
#include "common/unicode.hpp"

namespace tesmira::conductor {
namespace {

std::size_t suffix_start(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return std::string::npos;
    return dot;
}

}  // namespace

std::string name_stem(const std::string& file_name) {
    const std::size_t dot = suffix_start(file_name);
    return dot == std::string::npos ? file_name : file_name.substr(0, dot);
}

std::string name_suffix(const std::string& file_name) {
    const std::size_t dot = suffix_start(file_name);
    return dot == std::string::npos ? std::string() : file_name.substr(dot);
}

bool is_pdf_name(const std::string& file_name) {
    std::string suffix = name_suffix(file_name);
    for (char& c : suffix)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return suffix == ".pdf";
}

std::string cleaned_stem(const std::string& file_name, std::size_t max_bytes, const std::string& fallback) {
    std::string stem = cut_utf8(remove_category_c(nfc(name_stem(file_name))), max_bytes);
    return stem.empty() ? fallback : stem;
}

std::string three_digits(long long number) {
    char text[32];
    std::snprintf(text, sizeof text, "%03lld", number);
    return text;
}

std::filesystem::path stamped_run_folder(const std::filesystem::path& root) { return root / stamped_folder_name(); }

}  // namespace tesmira::conductor
