#pragma once
// The pages of a run compared several at a time and handed over one by one, in order, as if
// they had been compared one after the other: a page's result (or its failure) reaches the
// caller only once every earlier page's has, and nothing of a later page is handed over
// before. Pages start as many at once as the budget allows, also while the caller is still
// adding later pages: of the pages at most twice the thread count ahead of the caller, the one
// reckoned largest first (the earliest of equal ones), so that the run does not end waiting for
// a page compared in full among pages that took less. The pages run on as many
// threads as could be started; when none could, the caller compares each page in next().

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "conductor/page_budget.hpp"
#include "engine/page_job.hpp"

namespace tesmira::conductor {

class PagePipeline {
public:
    struct Job {
        std::function<engine::FinishedPage()> compare;
        std::size_t bytes = 0;  // its estimated memory, see page_bytes()
    };

    // Starts comparing at once.
    PagePipeline(std::vector<Job> jobs, const PageBudget& budget);
    // Adds pages after those given so far; they start as soon as the budget lets them.
    void add(std::vector<Job> jobs);
    // Pages not started never start; the caller waits for those being compared (SIGTERM aborts
    // their drawing), so that nothing outlives the run.
    ~PagePipeline();
    PagePipeline(const PagePipeline&) = delete;
    PagePipeline& operator=(const PagePipeline&) = delete;

    // The next page in order, once compared; its failure is thrown here. Only for pages added.
    engine::FinishedPage next();

private:
    struct Slot {
        std::optional<engine::FinishedPage> page;
        std::exception_ptr failure;
        bool started = false, done = false;
    };
    void work();
    void stop();                                       // stops the pages not started and joins the threads
    std::optional<std::size_t> next_to_start() const;  // with the lock held
    bool may_start() const;                            // with the lock held

    std::deque<Job> jobs_;  // a deque, so that adding pages moves none being compared
    std::deque<Slot> slots_;
    PageBudget budget_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t waiting_ = 0;  // the first page not started
    std::size_t handed_ = 0, running_ = 0;
    std::size_t reserved_ = 0;  // the estimated bytes of the pages being compared
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tesmira::conductor
