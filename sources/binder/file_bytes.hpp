#pragma once
#include <filesystem>
#include <fstream>
#include <string>

namespace tesmira::binder {

// Opens a file for binary reading; failing to open it is a filesystem_error naming the path.
std::ifstream open_for_reading(const std::filesystem::path& path);

// The whole file as bytes.
std::string read_file(const std::filesystem::path& path);

}  // namespace tesmira::binder
