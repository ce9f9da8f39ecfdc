#include "conductor/compare_inputs.hpp"

#include <map>
#include <stdexcept>
#include <system_error>

#include "common/unicode.hpp"
#include "conductor/names.hpp"
#include "conductor/pair_validation.hpp"
#include "conductor/pairing.hpp"

namespace tesmira::conductor {
namespace {

using Paths = std::vector<std::filesystem::path>;
using Kind = CompareItem::Kind;

// The PDFs directly in a folder.
Paths pdfs_in(const std::filesystem::path& folder) {
    Paths pdfs;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder))
        if (is_pdf_name(entry.path().filename().string()) && entry.is_regular_file()) pdfs.push_back(entry.path());
    return pdfs;
}

std::string document_name(const std::filesystem::path& path) { return nfc(path.filename().string()); }

// The PDFs of two folders by document name: a pair where both hold the name, else the one.
std::multimap<std::string, CompareItem> folder_items(const std::filesystem::path& before,
                                                     const std::filesystem::path& after) {
    const Paths old_pdfs = pdfs_in(before), new_pdfs = pdfs_in(after);
    std::multimap<std::string, CompareItem> items;
    std::map<std::string, std::filesystem::path> partners;  // the new PDFs that have an old one
    for (const auto& path : old_pdfs) partners.emplace(document_name(path), std::filesystem::path());
    Paths paired_before, paired_after;
    for (const auto& path : new_pdfs) {
        const auto partner = partners.find(document_name(path));
        if (partner == partners.end()) {
            items.emplace(document_name(path), CompareItem{Kind::only_after, {}, path, {}, path.filename().string()});
        } else {
            partner->second = path;
            paired_after.push_back(path);
        }
    }
    for (const auto& path : old_pdfs) {
        const std::filesystem::path& partner = partners.at(document_name(path));
        if (partner.empty()) {
            items.emplace(document_name(path), CompareItem{Kind::only_before, path, {}, path.filename().string(), {}});
        } else {
            paired_before.push_back(path);
            items.emplace(
                document_name(path),
                CompareItem{Kind::compared, path, partner, path.filename().string(), partner.filename().string()});
        }
    }
    // A name repeated within a folder (once in NFC, once not) and too many files are the
    // worker's refusals, told before anything is read.
    if (!paired_before.empty()) match_files(paired_before, paired_after);
    return items;
}

// Sets the pair aside when its page counts already differ. Any other fault of the pair is the
// run's to refuse, with the worker's own message and the user's paths.
void check_page_counts(CompareItem& item, const Json& settings) {
    try {
        validate_pair(item.before, item.after, settings);
    } catch (const PageCountMismatch& mismatch) {
        item.kind = Kind::page_counts_differ;
        item.before_pages = mismatch.before_pages;
        item.after_pages = mismatch.after_pages;
    } catch (const std::exception&) {}
}

}  // namespace

std::vector<CompareItem> compare_items(const std::filesystem::path& before, const std::filesystem::path& after,
                                       const Json& settings) {
    std::error_code error;
    const bool before_folder = std::filesystem::is_directory(before, error);
    const bool after_folder = std::filesystem::is_directory(after, error);
    if (before_folder != after_folder)
        throw std::invalid_argument("OLD and NEW must both be PDF files or both be folders");
    std::multimap<std::string, CompareItem> items;
    if (before_folder)
        items = folder_items(before, after);
    else
        items.emplace("", CompareItem{Kind::compared, before, after, before.string(), after.string()});

    std::vector<CompareItem> ordered;
    for (auto& [name, item] : items) {
        if (item.kind == Kind::compared) check_page_counts(item, settings);
        ordered.push_back(std::move(item));
    }
    return ordered;
}

std::pair<Paths, Paths> compared_lists(const std::vector<CompareItem>& items) {
    std::pair<Paths, Paths> lists;
    for (const CompareItem& item : items)
        if (item.kind == Kind::compared) {
            lists.first.push_back(item.before);
            lists.second.push_back(item.after);
        }
    return lists;
}

}  // namespace tesmira::conductor
