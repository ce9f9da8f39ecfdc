#pragma once
#include <cstddef>
#include <memory>

namespace tesmira {

// Keeps freed page-sized buffers in the heap for the next page instead of returning
// them to the system, so that a page does not pay again for first-touching every canvas.
// Call once at the start of a program that compares pages.
void reuse_freed_canvases();

// A block of `bytes` (aligned for any array) for a page-sized array too large for the heap to
// keep: glibc maps every block beyond 32 MiB afresh, whose memory is then first-touched again
// on every page. A block of the same size that an earlier page freed is taken again; the blocks
// of the last two freed are kept for that. Its contents are undefined. Throws std::bad_alloc.
std::shared_ptr<unsigned char> large_block(std::size_t bytes);

}  // namespace tesmira
