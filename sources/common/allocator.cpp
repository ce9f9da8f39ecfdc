#include "common/allocator.hpp"

#include <malloc.h>
#include <sys/mman.h>
#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>

namespace tesmira {
namespace {

constexpr std::size_t UNIT = std::size_t(2) << 20;  // a huge page on x86-64

std::size_t whole_units(std::size_t bytes) { return std::max(UNIT, (bytes + UNIT - 1) / UNIT * UNIT); }

// An object made on first use and never destroyed: arrays that static objects of other files
// hold may be freed after this file's statics are gone.
template <class T>
T& lasting() {
    alignas(T) static unsigned char storage[sizeof(T)];
    static T* object = new (storage) T();
    return *object;
}

// An anonymous mapping of `bytes` (whole units) starting on a unit's boundary.
void* map_aligned(std::size_t bytes) {
    void* mapped = ::mmap(nullptr, bytes + UNIT, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + UNIT - 1) / UNIT * UNIT;
    if (aligned > start) ::munmap(mapped, aligned - start);
    if (const std::uintptr_t end = start + bytes + UNIT; end > aligned + bytes)
        ::munmap(reinterpret_cast<void*>(aligned + bytes), end - (aligned + bytes));
    ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);  // where the kernel has them
    return reinterpret_cast<void*>(aligned);
}

// The blocks of the run, free ones by size. A block taken again may be somewhat larger than
// asked for, not much: the memory would sit idle in it.
class BlockPool {
public:
    void* take(std::size_t asked) {
        const std::size_t bytes = whole_units(asked);
        {
            const std::lock_guard lock(mutex_);
            const auto fitting = free_.lower_bound(bytes);
            if (fitting != free_.end() && fitting->first <= bytes + bytes / 4) {
                void* block = fitting->second;
                hand_out(block, fitting->first);
                kept_ -= fitting->first;
                free_.erase(fitting);
                return block;
            }
            make_room(bytes);
        }
        void* block = map_aligned(bytes);
        const std::lock_guard lock(mutex_);
        hand_out(block, bytes);
        return block;
    }

    void give_back(void* block) noexcept {
        std::size_t bytes = 0;
        {
            const std::lock_guard lock(mutex_);
            const auto used = used_.find(block);
            bytes = used->second;
            used_.erase(used);
            in_use_ -= bytes;
            if (in_use_ + kept_ + bytes <= limit_) {
                free_.emplace(bytes, block);
                kept_ += bytes;
                return;
            }
        }
        ::munmap(block, bytes);
    }

    void limit(std::size_t bytes) {
        const std::lock_guard lock(mutex_);
        limit_ = bytes;
        make_room(0);
    }

    PooledMemory memory() {
        const std::lock_guard lock(mutex_);
        return {in_use_, kept_, peak_};
    }

    void reset_peak() {
        const std::lock_guard lock(mutex_);
        peak_ = in_use_;
    }

private:
    void hand_out(void* block, std::size_t bytes) {
        used_.emplace(block, bytes);
        in_use_ += bytes;
        peak_ = std::max(peak_, in_use_);
    }

    // Gives free blocks back to the system, largest first, until `bytes` more fit the limit.
    void make_room(std::size_t bytes) {
        while (!free_.empty() && in_use_ + kept_ + bytes > limit_) {
            const auto largest = std::prev(free_.end());
            ::munmap(largest->second, largest->first);
            kept_ -= largest->first;
            free_.erase(largest);
        }
    }

    std::mutex mutex_;
    std::multimap<std::size_t, void*> free_;
    std::unordered_map<void*, std::size_t> used_;
    std::size_t in_use_ = 0, kept_ = 0, peak_ = 0, limit_ = std::size_t(1) << 30;
};

BlockPool& pool() { return lasting<BlockPool>(); }

// OpenCV's own allocator for small arrays, the pool for page-sized ones.
class PooledMatAllocator : public cv::MatAllocator {
public:
    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step, cv::AccessFlag,
                           cv::UMatUsageFlags) const override {
        std::size_t total = CV_ELEM_SIZE(type);
        for (int i = dims - 1; i >= 0; --i) {
            if (step) {
                if (data && step[i] != cv::Mat::AUTO_STEP) {
                    CV_Assert(total <= step[i]);
                    total = step[i];
                } else {
                    step[i] = total;
                }
            }
            total *= std::size_t(sizes[i]);
        }
        auto* u = new cv::UMatData(this);  // OpenCV's protocol: deallocate() deletes it
        u->size = total;
        if (data) {
            u->data = u->origdata = static_cast<uchar*>(data);
            u->flags |= cv::UMatData::USER_ALLOCATED;
        } else {
            u->data = u->origdata =
                static_cast<uchar*>(total >= POOLED_BYTES ? pool().take(total) : cv::fastMalloc(total));
        }
        return u;
    }

    bool allocate(cv::UMatData* u, cv::AccessFlag, cv::UMatUsageFlags) const override { return u != nullptr; }

    void deallocate(cv::UMatData* u) const override {
        if (!u) return;
        CV_Assert(u->urefcount == 0 && u->refcount == 0);
        if (!(u->flags & cv::UMatData::USER_ALLOCATED)) {
            if (u->size >= POOLED_BYTES)
                pool().give_back(u->origdata);
            else
                cv::fastFree(u->origdata);
        }
        delete u;
    }
};

}  // namespace

void reuse_freed_canvases() {
    cv::Mat::setDefaultAllocator(&lasting<PooledMatAllocator>());
    // glibc's largest allowed threshold on 64-bit systems: MuPDF's blocks up to it stay in the heap.
    constexpr int MMAP_THRESHOLD = 32 * 1024 * 1024;
    constexpr int TRIM_THRESHOLD = 256 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, MMAP_THRESHOLD);
    mallopt(M_TRIM_THRESHOLD, TRIM_THRESHOLD);
    // A thread allocating in an arena of its own keeps what it frees there, out of the other
    // threads' reach, and each page draws in threads of its own: with few arenas a block freed
    // in one thread serves the next page's in another. One arena would make the threads wait for
    // one another's small allocations (measured with bench/worker_vs_mutool.sh).
    mallopt(M_ARENA_MAX, 2);
}

std::shared_ptr<unsigned char> large_block(std::size_t bytes) {
    struct GiveBack {
        void operator()(unsigned char* block) const { pool().give_back(block); }
    };
    std::unique_ptr<unsigned char, GiveBack> block(static_cast<unsigned char*>(pool().take(bytes)));
    return std::shared_ptr<unsigned char>(std::move(block));
}

void limit_pooled_memory(std::size_t bytes) { pool().limit(bytes); }

PooledMemory pooled_memory() { return pool().memory(); }

void reset_pooled_peak() { pool().reset_peak(); }

}  // namespace tesmira
