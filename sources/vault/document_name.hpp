#pragma once
#include <filesystem>
#include <string>

namespace tesmira::vault {

// The document name of a PDF: the NFC form of its file name, letter case kept. Refuses a
// name that does not end in ".pdf" (any case) or holds a control, format or unassigned character.
std::string canonical_name(const std::filesystem::path& path);

// The SHA-256 of the file's bytes as 64 lowercase hexadecimal digits, read 1 MiB at a time.
std::string digest(const std::filesystem::path& path);

}  // namespace tesmira::vault
