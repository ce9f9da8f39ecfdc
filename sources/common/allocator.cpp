#include "common/allocator.hpp"

#include <malloc.h>

#include <cstdlib>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace tesmira {
namespace {

constexpr std::size_t KEPT_BLOCKS = 2;  // a page pair's plates

struct FreeBlock {
    unsigned char* data;
    std::size_t bytes;
};

// The blocks freed last, for the next page's arrays of the same size.
class BlockCache {
public:
    ~BlockCache() {
        for (const FreeBlock& block : free_) std::free(block.data);
    }
    unsigned char* take(std::size_t bytes) {
        {
            const std::lock_guard lock(mutex_);
            for (auto it = free_.begin(); it != free_.end(); ++it)
                if (it->bytes == bytes) {
                    unsigned char* data = it->data;
                    free_.erase(it);
                    return data;
                }
        }
        void* data = std::aligned_alloc(64, (bytes + 63) / 64 * 64);
        if (!data) throw std::bad_alloc();
        return static_cast<unsigned char*>(data);
    }
    void give_back(unsigned char* data, std::size_t bytes) noexcept {
        FreeBlock dropped{nullptr, 0};
        {
            const std::lock_guard lock(mutex_);
            if (free_.size() == KEPT_BLOCKS) {
                dropped = free_.front();
                free_.erase(free_.begin());
            }
            free_.push_back({data, bytes});  // capacity reserved: never allocates
        }
        std::free(dropped.data);
    }
    BlockCache() { free_.reserve(KEPT_BLOCKS); }

private:
    std::mutex mutex_;
    std::vector<FreeBlock> free_;
};

BlockCache& cache() {
    static BlockCache blocks;
    return blocks;
}

}  // namespace

void reuse_freed_canvases() {
    // glibc's largest allowed threshold on 64-bit systems; a 300-dpi A4 canvas stays below it.
    constexpr int MMAP_THRESHOLD = 32 * 1024 * 1024;
    constexpr int TRIM_THRESHOLD = 256 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, MMAP_THRESHOLD);
    mallopt(M_TRIM_THRESHOLD, TRIM_THRESHOLD);
    // A thread allocating in an arena of its own keeps what it frees there, out of the other
    // threads' reach, and each page draws in threads of its own: with few arenas a canvas freed
    // in one thread serves the next page's in another. One arena would make the threads wait for
    // one another's small allocations (measured with bench/worker_vs_mutool.sh).
    mallopt(M_ARENA_MAX, 2);
}

std::shared_ptr<unsigned char> large_block(std::size_t bytes) {
    unsigned char* data = cache().take(bytes);
    return std::shared_ptr<unsigned char>(data, [bytes](unsigned char* block) { cache().give_back(block, bytes); });
}

}  // namespace tesmira
