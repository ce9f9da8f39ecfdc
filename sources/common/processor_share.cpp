#include "common/processor_share.hpp"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace tesmira {
namespace {

std::atomic<int> running{0};

int processors() {
    static const int count = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(1, CPU_COUNT(&set));
        return int(std::max(1u, std::thread::hardware_concurrency()));
    }();
    return count;
}

}  // namespace

RunningPage::RunningPage() { ++running; }
RunningPage::~RunningPage() { --running; }

bool processors_to_spare() { return running.load(std::memory_order_relaxed) < processors(); }

}  // namespace tesmira
