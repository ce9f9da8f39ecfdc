#include "common/allocator.hpp"

#include <malloc.h>

namespace tesmira {

void reuse_freed_canvases() {
    // glibc's largest allowed threshold on 64-bit systems; a 300-dpi A4 canvas stays below it.
    constexpr int MMAP_THRESHOLD = 32 * 1024 * 1024;
    constexpr int TRIM_THRESHOLD = 256 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, MMAP_THRESHOLD);
    mallopt(M_TRIM_THRESHOLD, TRIM_THRESHOLD);
}

}  // namespace tesmira
