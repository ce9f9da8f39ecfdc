// Pages compared several at a time and handed over in order, within a memory budget.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "conductor/page_pipeline.hpp"
#include "fixtures/no_new_threads.hpp"

using tesmira::conductor::PageBudget;
using tesmira::conductor::PagePipeline;
using tesmira::engine::FinishedPage;

namespace {

// Jobs that count how many run at once. Each waits (up to ten seconds, whatever the machine's
// load) until `together` have run at once, so that reaching the limit does not depend on speed;
// later pages wait less, so that they finish out of order.
struct Counting {
    explicit Counting(int together = 1) : together(together) {}
    const int together;
    std::atomic<int> running{0}, most{0}, started{0};

    PagePipeline::Job job(int page, std::size_t bytes, bool fails = false) {
        return {[this, page, fails] {
                    ++started;
                    const int now = ++running;
                    for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {}
                    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                    while (most < together && std::chrono::steady_clock::now() < until)
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    std::this_thread::sleep_for(std::chrono::milliseconds(8 - page % 8));
                    --running;
                    if (fails) throw std::runtime_error("page " + std::to_string(page));
                    FinishedPage finished;
                    finished.result_png = std::to_string(page);
                    return finished;
                },
                bytes};
    }
};

}  // namespace

TEST(PagePipeline, HandsPagesOverInOrderWithinTheBudget) {
    const struct {
        const char* what;
        PageBudget budget;
        std::size_t bytes;
        int most;  // pages at once at the most
    } cases[] = {
        {"one at a time", {1, 1000}, 10, 1},
        {"as many as processors", {4, 1000}, 10, 4},
        {"as many as fit", {8, 100}, 30, 3},
        {"a page beyond the budget runs alone", {8, 100}, 500, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Counting count(c.most);
        std::vector<PagePipeline::Job> jobs;
        for (int page = 1; page <= 12; ++page) jobs.push_back(count.job(page, c.bytes));
        PagePipeline pipeline(std::move(jobs), c.budget);
        for (int page = 1; page <= 12; ++page) EXPECT_EQ(pipeline.next().result_png, std::to_string(page));
        EXPECT_EQ(count.most, c.most);
        EXPECT_THROW(pipeline.next(), std::logic_error);
    }
}

// The first failure in page order is the one thrown, after every earlier page; pages that have
// not started by then never start.
TEST(PagePipeline, TheEarliestFailureComesInItsTurnAndStopsTheRest) {
    Counting count;
    std::vector<PagePipeline::Job> jobs;
    for (int page = 1; page <= 40; ++page) jobs.push_back(count.job(page, 1, page == 3 || page == 2 + 8));
    {
        PagePipeline pipeline(std::move(jobs), {4, 1000});
        EXPECT_EQ(pipeline.next().result_png, "1");
        EXPECT_EQ(pipeline.next().result_png, "2");
        try {
            pipeline.next();
            ADD_FAILURE() << "page 3 was handed over";
        } catch (const std::runtime_error& failure) {
            EXPECT_EQ(std::string(failure.what()), "page 3");
        }
    }
    EXPECT_LT(count.started, 40) << "the pages after the failure were not all compared";
    EXPECT_EQ(count.running, 0) << "nothing runs once the pipeline is gone";
}

TEST(PagePipeline, GoingEarlyWaitsForThePagesBeingCompared) {
    Counting count;
    std::vector<PagePipeline::Job> jobs;
    for (int page = 1; page <= 20; ++page) jobs.push_back(count.job(page, 1));
    { PagePipeline pipeline(std::move(jobs), {4, 1000}); }  // as when SIGTERM unwinds the run
    EXPECT_EQ(count.running, 0);
    EXPECT_LE(count.started, 12);
}

// A process that may start no thread compares its pages on the caller's thread, in order, with
// the first failure in its turn.
TEST(PagePipeline, RunsOnTheCallersThreadWhenNoThreadCanStart) {
    if (!tesmira::fixtures::can_forbid_new_threads()) GTEST_SKIP() << "AddressSanitizer holds the address space";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            tesmira::fixtures::forbid_new_threads();
            const std::thread::id caller = std::this_thread::get_id();
            bool on_caller = true;
            std::vector<PagePipeline::Job> jobs;
            for (int page = 1; page <= 5; ++page)
                jobs.push_back({[&, page] {
                                    on_caller = on_caller && std::this_thread::get_id() == caller;
                                    if (page == 4) throw std::runtime_error("page 4");
                                    FinishedPage finished;
                                    finished.result_png = std::to_string(page);
                                    return finished;
                                },
                                1});
            PagePipeline pipeline(std::move(jobs), {4, 1000});
            std::string handed;
            for (int page = 1; page <= 3; ++page) handed += pipeline.next().result_png;
            try {
                pipeline.next();
            } catch (const std::runtime_error& failure) {
                handed += failure.what();
            }
            std::fprintf(stderr, "%s on the caller: %d\n", handed.c_str(), int(on_caller));
            std::exit(handed == "123page 4" && on_caller ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "");
}

// Of the pages within reach (twice the threads ahead of the caller), the largest starts first,
// the earliest of equal ones; they are still handed over in order. One thread, so that the
// order of starting is the order of running.
TEST(PagePipeline, StartsTheLargestPageWithinReachFirst) {
    std::mutex mutex;
    std::vector<int> started;
    std::vector<PagePipeline::Job> jobs;
    const std::size_t bytes[] = {1, 5, 1, 9, 50, 1};
    for (int page = 0; page < 6; ++page)
        jobs.push_back({[&, page] {
                            const std::lock_guard lock(mutex);
                            started.push_back(page);
                            FinishedPage finished;
                            finished.result_png = std::to_string(page);
                            return finished;
                        },
                        bytes[page]});
    {
        PagePipeline pipeline(std::move(jobs), {1, 1000});
        for (int page = 0; page < 6; ++page) EXPECT_EQ(pipeline.next().result_png, std::to_string(page));
    }
    // Pages 0 and 1 are within reach at first; page 4 comes within reach before page 5 or with it.
    ASSERT_EQ(started.size(), 6u);
    EXPECT_EQ(std::vector<int>(started.begin(), started.begin() + 2), std::vector<int>({1, 0}));
    EXPECT_LT(std::find(started.begin(), started.end(), 4), std::find(started.begin(), started.end(), 5));
}
