#pragma once
#include <cstddef>

#include "conductor/memory_room.hpp"

namespace tesmira::conductor {

// How many pages of a run are compared at once, and in how much memory together. A run keeps as
// many pages in flight as it has processors, as long as their estimated memory fits the budget;
// a page larger than the whole budget still runs, alone.
struct PageBudget {
    int pages_at_once = 1;
    std::size_t page_bytes = 0;  // what the pages in flight may take together
};

// The whole worker stays within this, whatever the machine has.
inline constexpr std::size_t MAX_WORKER_BYTES = std::size_t(1) << 30;
// What the worker takes besides its pages in flight: the program, its libraries and fonts, the
// PDFs open, a finished page waiting to be written.
inline constexpr std::size_t FIXED_BYTES = std::size_t(160) << 20;

// What is known of a page before it is drawn, as far as its memory goes.
struct PageKind {
    bool identical = false;  // proven to draw alike: the new page alone is drawn
    bool inks = true;        // its graph names inks: it may be drawn on its plates too
    bool noise = false;      // the noise pass compares it a second time
};

// What comparing one page of `pixels` takes at its peak, plates included where it may have them.
std::size_t page_bytes(long long pixels, const PageKind& kind);

// What the whole worker may take within `room`: at most MAX_WORKER_BYTES, half the memory the
// machine has available, and all that its cgroup's memory limit or its address-space limit
// leaves, whichever is least.
std::size_t worker_bytes(const MemoryRoom& room);

// The processors this process may run on (its CPU affinity, so that `taskset` counts), and
// worker_bytes() of the process's memory room, less FIXED_BYTES.
// TESMIRA_PAGES_AT_ONCE and TESMIRA_MEMORY_BUDGET_MIB (the whole worker's budget) override the
// two, for tests and benchmarks.
PageBudget choose_budget();

}  // namespace tesmira::conductor
