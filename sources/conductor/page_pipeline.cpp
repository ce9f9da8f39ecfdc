#include "conductor/page_pipeline.hpp"

#include <algorithm>
#include <stdexcept>

#include "common/threads.hpp"

namespace tesmira::conductor {

PagePipeline::PagePipeline(std::vector<Job> jobs, const PageBudget& budget)
    : jobs_(std::move(jobs)), slots_(jobs_.size()), budget_(budget) {
    const std::size_t wanted = std::min<std::size_t>(std::size_t(std::max(1, budget.pages_at_once)), jobs_.size());
    try {
        // With fewer threads than wanted (a limit on the process's threads or memory) the pages
        // run on those that started, or on the caller's.
        start_threads(threads_, wanted, [this](std::size_t) { work(); });
    } catch (...) {
        stop();
        throw;
    }
}

PagePipeline::~PagePipeline() { stop(); }

void PagePipeline::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

bool PagePipeline::may_start() const {
    if (started_ == jobs_.size()) return false;
    // Compared pages wait for the caller with their encoded images only; a few pages ahead are
    // enough to keep every processor busy.
    if (started_ >= handed_ + 2 * std::size_t(std::max(1, budget_.pages_at_once))) return false;
    // A page larger than the whole budget runs when nothing else does.
    return running_ == 0 || reserved_ + jobs_[started_].bytes <= budget_.page_bytes;
}

void PagePipeline::work() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return stopping_ || may_start() || started_ == jobs_.size(); });
        if (stopping_ || started_ == jobs_.size()) return;
        const std::size_t index = started_++;
        ++running_;
        reserved_ += jobs_[index].bytes;
        lock.unlock();
        std::optional<engine::FinishedPage> page;
        std::exception_ptr failure;
        try {
            page = jobs_[index].compare();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        --running_;
        reserved_ -= jobs_[index].bytes;
        slots_[index] = {std::move(page), failure, true};
        changed_.notify_all();
    }
}

engine::FinishedPage PagePipeline::next() {
    std::unique_lock lock(mutex_);
    if (handed_ == jobs_.size()) throw std::logic_error("no page left in the pipeline");
    const std::size_t index = handed_;
    if (threads_.empty()) {
        // No thread could be started: the caller compares each page itself, in turn.
        started_ = ++handed_;
        lock.unlock();
        return jobs_[index].compare();
    }
    changed_.wait(lock, [&] { return slots_[index].done; });
    Slot slot = std::move(slots_[index]);
    ++handed_;
    changed_.notify_all();
    if (slot.failure) {
        // Later pages are of no use once a page has failed.
        stopping_ = true;
        changed_.notify_all();
        std::rethrow_exception(slot.failure);
    }
    return std::move(*slot.page);
}

}  // namespace tesmira::conductor
