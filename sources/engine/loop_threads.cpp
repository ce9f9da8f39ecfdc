#include "engine/loop_threads.hpp"

#include <opencv2/core.hpp>
#include <opencv2/core/parallel/parallel_backend.hpp>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/threads.hpp"

namespace tesmira::engine {
namespace {

// The index of the running thread in its pool: 0 for a caller, 1 on for the pool's threads.
thread_local int thread_index = 0;

class LoopThreads final : public cv::parallel::ParallelForAPI {
public:
    explicit LoopThreads(int threads) : wanted_(std::max(1, threads)) {}
    ~LoopThreads() override;

    void parallel_for(int tasks, FN_parallel_for_body_cb_t body, void* data) override;
    int getThreadNum() const override { return thread_index; }
    int getNumThreads() const override { return wanted_; }
    int setNumThreads(int threads) override;
    const char* getName() const override { return "tesmira"; }

private:
    // One loop: its tasks are taken one at a time by whichever thread comes next.
    struct Loop {
        int tasks = 0;
        FN_parallel_for_body_cb_t body = nullptr;
        void* data = nullptr;
        std::atomic<int> next{0};
        int finished = 0, helpers = 0;  // with the lock held
        std::exception_ptr failure;     // the first, with the lock held
    };
    void start_missing_threads();    // with running_ held
    void serve(int index);           // a pool thread's life
    void take_tasks(Loop& loop);     // runs tasks of `loop` until none is left
    bool has_work(int index) const;  // with the lock held

    std::atomic<int> wanted_;
    std::mutex running_;  // one loop at a time; a loop that comes meanwhile runs on its caller
    std::vector<std::thread> threads_;
    bool could_not_start_ = false;
    std::mutex mutex_;
    std::condition_variable work_, done_;
    Loop* current_ = nullptr;
    bool stopping_ = false;
};

LoopThreads::~LoopThreads() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

int LoopThreads::setNumThreads(int threads) { return wanted_.exchange(std::max(1, threads)); }

void LoopThreads::start_missing_threads() {
    const std::size_t wanted = std::size_t(wanted_ - 1);
    if (could_not_start_ || threads_.size() >= wanted) return;
    const std::size_t first = threads_.size();
    start_threads(threads_, wanted - first, [this, first](std::size_t i) { serve(int(first + i) + 1); });
    // Once the process may start no more, the pool keeps what it has.
    could_not_start_ = threads_.size() < wanted;
}

bool LoopThreads::has_work(int index) const {
    return current_ && index < wanted_ && current_->next.load() < current_->tasks;
}

void LoopThreads::serve(int index) {
    thread_index = index;
    std::unique_lock lock(mutex_);
    while (true) {
        work_.wait(lock, [&] { return stopping_ || has_work(index); });
        if (stopping_) return;
        Loop& loop = *current_;
        ++loop.helpers;
        lock.unlock();
        take_tasks(loop);
        lock.lock();
        --loop.helpers;
        done_.notify_all();
    }
}

void LoopThreads::take_tasks(Loop& loop) {
    int finished = 0;
    std::exception_ptr failure;
    for (int task; (task = loop.next.fetch_add(1)) < loop.tasks; ++finished) {
        try {
            loop.body(task, task + 1, loop.data);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    std::lock_guard lock(mutex_);
    loop.finished += finished;
    if (failure && !loop.failure) loop.failure = failure;
}

void LoopThreads::parallel_for(int tasks, FN_parallel_for_body_cb_t body, void* data) {
    if (tasks <= 0) return;
    std::unique_lock running(running_, std::try_to_lock);
    if (running) start_missing_threads();
    if (!running || threads_.empty() || tasks == 1) {
        body(0, tasks, data);
        return;
    }
    Loop loop;
    loop.tasks = tasks;
    loop.body = body;
    loop.data = data;
    {
        std::lock_guard lock(mutex_);
        current_ = &loop;
    }
    work_.notify_all();
    take_tasks(loop);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return loop.finished == tasks && loop.helpers == 0; });
    current_ = nullptr;
    if (loop.failure) std::rethrow_exception(loop.failure);
}

}  // namespace

void run_loops_on_own_threads() {
    cv::parallel::setParallelForBackend(std::make_shared<LoopThreads>(cv::getNumberOfCPUs()), false);
}

}  // namespace tesmira::engine
