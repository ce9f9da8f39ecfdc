#pragma once
#include <cstddef>

namespace tesmira {

// The largest "project.json" of an archive project that is read. A real one holds about a
// hundred bytes; a larger file is not one of ours, and reading it would only fill memory.
inline constexpr std::size_t MAX_PROJECT_RECORD_BYTES = 1 << 20;

}  // namespace tesmira
