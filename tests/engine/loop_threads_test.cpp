// OpenCV's parallel loops on the program's own threads: every task once, a task's failure
// thrown to the caller, and the loop run on the caller alone when no thread can start.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/loop_threads.hpp"
#include "fixtures/no_new_threads.hpp"

namespace {

// Runs a loop of `tasks` and tells whether each task ran exactly once, and on which threads.
struct CountedLoop {
    explicit CountedLoop(int tasks, std::size_t wait_for_threads = 1) : runs(std::size_t(tasks)) {
        cv::parallel_for_(cv::Range(0, tasks), [&](const cv::Range& range) {
            {
                std::lock_guard lock(mutex);
                threads.insert(std::this_thread::get_id());
            }
            // Until a second thread has come (ten seconds at most, whatever the machine's load),
            // so that sharing the loop does not depend on speed.
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (seen() < wait_for_threads && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            for (int task = range.start; task < range.end; ++task) ++runs[std::size_t(task)];
        });
    }
    std::size_t seen() {
        std::lock_guard lock(mutex);
        return threads.size();
    }
    bool each_once() const {
        for (const auto& count : runs)
            if (count != 1) return false;
        return true;
    }
    std::vector<std::atomic<int>> runs;
    std::mutex mutex;
    std::set<std::thread::id> threads;
};

}  // namespace

TEST(LoopThreads, EveryTaskRunsOnceAndAFailureReachesTheCaller) {
    tesmira::engine::run_loops_on_own_threads();
    for (int tasks : {1, 2, 7, 1000}) {
        SCOPED_TRACE(tasks);
        CountedLoop loop(tasks);
        EXPECT_TRUE(loop.each_once());
    }
    if (cv::getNumberOfCPUs() > 1) {
        CountedLoop shared(64, 2);
        EXPECT_TRUE(shared.each_once());
        EXPECT_GE(shared.threads.size(), 2u) << "the loop ran on one thread";
    }
    std::atomic<int> ran{0};
    EXPECT_THROW(cv::parallel_for_(cv::Range(0, 100),
                                   [&](const cv::Range& range) {
                                       ran += range.size();
                                       if (range.start <= 50 && 50 < range.end) throw std::runtime_error("task 50");
                                   }),
                 std::exception);
    // A loop after the failure runs as before.
    CountedLoop after(100);
    EXPECT_TRUE(after.each_once());
}

TEST(LoopThreads, RunOnTheCallerAloneWhenNoThreadCanStart) {
    if (!tesmira::fixtures::can_forbid_new_threads()) GTEST_SKIP() << "AddressSanitizer holds the address space";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            tesmira::fixtures::forbid_new_threads();
            tesmira::engine::run_loops_on_own_threads();
            CountedLoop loop(200);
            const bool alone = loop.threads == std::set{std::this_thread::get_id()};
            std::fprintf(stderr, "each once: %d, on the caller alone: %d\n", int(loop.each_once()), int(alone));
            std::exit(loop.each_once() && alone ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "");
}
