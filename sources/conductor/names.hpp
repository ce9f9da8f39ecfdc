#pragma once
#include <cstddef>
#include <filesystem>
#include <string>

namespace tesmira::conductor {

// A file name without its last extension (the part from the last dot, when that dot is
// neither the first nor the last character).
std::string name_stem(const std::string& file_name);

// The extension as defined above, or empty.
std::string name_suffix(const std::string& file_name);

// Whether the file name ends in ".pdf" in any ASCII letter case: what the pairing takes.
bool is_pdf_name(const std::string& file_name);

// A stem for a folder or file name: NFC, without category-C characters, cut to at most
// `max_bytes` of UTF-8 without splitting a character, `fallback` when nothing is left.
std::string cleaned_stem(const std::string& file_name, std::size_t max_bytes, const std::string& fallback);

// The name a run's folder is published under in `root`: "てすみら検版_" and a new name stamp.
std::filesystem::path stamped_run_folder(const std::filesystem::path& root);

// "007" for 7: at least three digits, zero-padded.
std::string three_digits(long long number);

}  // namespace tesmira::conductor
