#pragma once
// Where the package's files sit below its prefix, as the FHS has it (the build tree holds the
// same layout). Each program finds the others and the stamp images from its own location.
#include <string_view>

namespace tesmira {

inline constexpr std::string_view PROGRAMS_FOLDER = "bin";             // tesmira, tesmira-compare
inline constexpr std::string_view HELPERS_FOLDER = "libexec/tesmira";  // the worker and its helpers
inline constexpr std::string_view DATA_FOLDER = "share/tesmira";       // "references/" with the stamps

// From a program in PROGRAMS_FOLDER to one in HELPERS_FOLDER.
inline constexpr std::string_view PROGRAMS_TO_HELPERS = "../libexec/tesmira";

}  // namespace tesmira
