#include "conductor/page_pipeline.hpp"

#include <algorithm>
#include <stdexcept>

#include "common/allocator.hpp"
#include "common/processor_share.hpp"
#include "common/threads.hpp"

namespace tesmira::conductor {

PagePipeline::PagePipeline(std::vector<Job> jobs, const PageBudget& budget) : budget_(budget) {
    // The page buffers kept between pages stay within what the pages may take together.
    limit_pooled_memory(budget.page_bytes);
    try {
        add(std::move(jobs));
    } catch (...) {
        stop();
        throw;
    }
}

void PagePipeline::add(std::vector<Job> jobs) {
    {
        std::lock_guard lock(mutex_);
        for (Job& job : jobs) jobs_.push_back(std::move(job));
        slots_.resize(jobs_.size());
    }
    changed_.notify_all();
    const std::size_t wanted = std::min<std::size_t>(std::size_t(std::max(1, budget_.pages_at_once)), jobs_.size());
    // With fewer threads than wanted (a limit on the process's threads or memory) the pages run
    // on those that started, or on the caller's.
    if (threads_.size() < wanted) start_threads(threads_, wanted - threads_.size(), [this](std::size_t) { work(); });
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

std::optional<std::size_t> PagePipeline::next_to_start() const {
    // Compared pages wait for the caller with their encoded images only; a few pages ahead are
    // enough to keep every processor busy.
    const std::size_t end = std::min(jobs_.size(), handed_ + 2 * std::size_t(std::max(1, budget_.pages_at_once)));
    std::optional<std::size_t> next;
    for (std::size_t i = waiting_; i < end; ++i)
        if (!slots_[i].started && (!next || jobs_[i].bytes > jobs_[*next].bytes)) next = i;
    return next;
}

bool PagePipeline::may_start() const {
    const std::optional<std::size_t> next = next_to_start();
    if (!next) return false;
    // A page larger than the whole budget runs when nothing else does.
    return running_ == 0 || reserved_ + jobs_[*next].bytes <= budget_.page_bytes;
}

void PagePipeline::work() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return stopping_ || may_start(); });
        if (stopping_) return;
        const std::size_t index = *next_to_start();
        slots_[index].started = true;
        while (waiting_ < jobs_.size() && slots_[waiting_].started) ++waiting_;
        ++running_;
        const Job& job = jobs_[index];  // taken under the lock: add() may grow the deque meanwhile
        reserved_ += job.bytes;
        lock.unlock();
        std::optional<engine::FinishedPage> page;
        std::exception_ptr failure;
        try {
            const RunningPage running;
            page = job.compare();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        --running_;
        reserved_ -= job.bytes;
        slots_[index] = {std::move(page), failure, true, true};
        changed_.notify_all();
    }
}

engine::FinishedPage PagePipeline::next() {
    std::unique_lock lock(mutex_);
    if (handed_ == jobs_.size()) throw std::logic_error("no page left in the pipeline");
    const std::size_t index = handed_;
    if (threads_.empty()) {
        // No thread could be started: the caller compares each page itself, in turn.
        slots_[index].started = true;
        waiting_ = ++handed_;
        const Job& job = jobs_[index];
        lock.unlock();
        const RunningPage running;
        return job.compare();
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
