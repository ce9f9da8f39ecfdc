#pragma once
// What every program of the package prints for --version and how it reads "--help".
#include <string>

namespace tesmira {

// "PROGRAM VERSION\n", the first line of --version as GNU programs print it, followed by
// the licence line.
std::string version_text(const std::string& program);

// The help's lines for -h/--help and --version, as every program of the package prints them.
inline constexpr const char* STANDARD_OPTIONS_HELP =
    "  -h, --help  show this help message and exit\n"
    "  --version   show the program's version and exit\n";

// The program's name as it was started: the last component of argv[0], or `fallback`.
std::string program_name(int argc, char** argv, const std::string& fallback);

}  // namespace tesmira
