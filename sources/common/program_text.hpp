#pragma once
// What every program of the package prints for --version and how it reads "--help".
#include <string>

namespace tesmira {

// "PROGRAM VERSION\n", the first line of --version as GNU programs print it, followed by
// the licence line.
std::string version_text(const std::string& program);

// The program's name as it was started: the last component of argv[0], or `fallback`.
std::string program_name(int argc, char** argv, const std::string& fallback);

}  // namespace tesmira
