#include "conductor/page_budget.hpp"

#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <thread>

namespace tesmira::conductor {
namespace {

// Bytes a pixel of the page that one page holds at its peak: its pooled page buffers as
// bench/page_memory measures them (the pages drawn, their plates, the difference, the masks,
// the result and the banded image being encoded), and what MuPDF holds beside them, which the
// worker's peak memory tells as pages are added (TESMIRA_PAGES_AT_ONCE 1 to 8): about a byte on
// screen, 3 to 6 for a page drawn on its plates too, its images decoded for both drawings. On
// the bench pairs at 300 dpi: a screen page compared 11.1 in the pool and 11.9 in all, a press
// page with two spot inks compared 24.3 and 30.5, proven alike 17.1 and 19.9.
std::size_t bytes_per_pixel(const PageKind& kind) {
    if (kind.identical) return kind.inks ? 21 : kind.noise ? 10 : 9;
    return kind.inks ? 31 : kind.noise ? 19 : 12;
}

std::optional<long long> environment_number(const char* name) {
    const char* text = std::getenv(name);
    if (!text || !*text) return std::nullopt;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (*end || value < 1) return std::nullopt;
    return value;
}

int processors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(1, CPU_COUNT(&set));
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace

std::size_t page_bytes(long long pixels, const PageKind& kind) {
    return std::size_t(std::max(0LL, pixels)) * bytes_per_pixel(kind);
}

std::size_t worker_bytes(const MemoryRoom& room) {
    std::size_t whole = MAX_WORKER_BYTES;
    // Half of what the machine has available leaves the rest to the operator's other programs;
    // a cgroup's or the address space's room is the process's own and counts whole.
    if (room.available) whole = std::min(whole, *room.available / 2);
    for (const auto& own : {room.cgroup, room.address_space})
        if (own) whole = std::min(whole, *own);
    return whole;
}

PageBudget choose_budget() {
    PageBudget budget;
    budget.pages_at_once = int(environment_number("TESMIRA_PAGES_AT_ONCE").value_or(processors()));
    std::size_t whole = worker_bytes(memory_room());
    if (const auto mib = environment_number("TESMIRA_MEMORY_BUDGET_MIB")) whole = std::size_t(*mib) << 20;
    budget.page_bytes = whole > FIXED_BYTES ? whole - FIXED_BYTES : 0;
    return budget;
}

}  // namespace tesmira::conductor
