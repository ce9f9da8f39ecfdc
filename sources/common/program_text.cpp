#include "common/program_text.hpp"

#include <filesystem>

namespace tesmira {

std::string version_text(const std::string& program) {
    return program + " " TESMIRA_VERSION
                     "\nLicence AGPL-3.0-or-later: GNU Affero General Public License, version 3 or later.\n";
}

std::string program_name(int argc, char** argv, const std::string& fallback) {
    if (argc < 1 || argv[0] == nullptr || *argv[0] == '\0') return fallback;
    return std::filesystem::path(argv[0]).filename().string();
}

}  // namespace tesmira
