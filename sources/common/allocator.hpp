#pragma once
// Page-sized buffers (canvases, plates, differences, masks, result images) come from one pool
// for the whole run, kept across pages and threads, so that their memory is touched once: a
// fresh 300-dpi A4 canvas takes 160–220 ms to fill the first time, against about 1.5 ms once it
// is in use. The pool's blocks are whole 2 MiB units, 2 MiB-aligned and given transparent huge
// pages where the kernel offers them (madvise(MADV_HUGEPAGE)), which makes even their first
// touch about ten times cheaper. A block's contents are undefined when it is taken: it is
// cleared only where a drawing does not overwrite it anyway.
#include <cstddef>
#include <memory>

namespace tesmira {

// OpenCV's arrays of at least POOLED_BYTES are taken from the pool from now on (every cv::Mat
// made without an allocator of its own), and the heap keeps the smaller blocks that MuPDF frees
// for the next page, with few arenas, so that a block freed in one thread serves another. Call
// once at the start of a program that compares pages.
void reuse_freed_canvases();

inline constexpr std::size_t POOLED_BYTES = std::size_t(1) << 20;

// A block of at least `bytes` from the pool, given back when the last copy of the pointer goes.
// Throws std::bad_alloc.
std::shared_ptr<unsigned char> large_block(std::size_t bytes);

// The most the pool keeps, in use and free together; a freed block beyond it is given back to
// the system at once. A block is always handed out, even beyond the limit: a page larger than
// the whole budget still runs. Without a call, 1 GiB.
void limit_pooled_memory(std::size_t bytes);

struct PooledMemory {
    std::size_t in_use = 0;  // bytes of the blocks handed out and not yet given back
    std::size_t kept = 0;    // bytes of the free blocks kept for later
    std::size_t peak = 0;    // the most in use at once since the last reset_pooled_peak()
};
PooledMemory pooled_memory();
void reset_pooled_peak();

}  // namespace tesmira
