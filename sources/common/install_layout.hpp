#pragma once
// Where the package's files sit below its prefix, as the FHS has it (the build tree holds the
// same layout). Each program finds the others and the stamp images from its own location.
#include <array>
#include <string_view>

namespace tesmira {

inline constexpr std::string_view PROGRAMS_FOLDER = "bin";             // tesmira, tesmira-compare
inline constexpr std::string_view HELPERS_FOLDER = "libexec/tesmira";  // the worker and its helpers
inline constexpr std::string_view DATA_FOLDER = "share/tesmira";       // "references/" with the stamps

// From a program in PROGRAMS_FOLDER to one in HELPERS_FOLDER.
inline constexpr std::string_view PROGRAMS_TO_HELPERS = "../libexec/tesmira";

// The folders of the build tree's own programs, which are never installed: the tests (one
// folder for each module, "*" standing for any one folder), the benchmarks and the tools. A
// build tree holds BUILD_TREE_MARK at its top.
inline constexpr std::array<std::string_view, 3> BUILD_ONLY_FOLDERS = {"tests/*", "bench", "tools"};
inline constexpr std::string_view BUILD_TREE_MARK = "CMakeCache.txt";

}  // namespace tesmira
