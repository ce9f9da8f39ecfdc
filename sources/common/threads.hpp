#pragma once
// Threads started as far as the process may start them. A limit on its processes
// (RLIMIT_NPROC, a cgroup's pids.max) or on its memory makes starting one fail with EAGAIN;
// the work then runs on fewer threads, or on the caller's, instead of ending the process.
#include <cstddef>
#include <future>
#include <memory>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace tesmira {

// Whether `failure` says that the process may start no thread now.
inline bool thread_limit_reached(const std::system_error& failure) {
    return failure.code() == std::errc::resource_unavailable_try_again;
}

// Runs `task` on a thread of its own; when the process may start no thread now, the task runs
// instead on the first wait for its result. Other failures to start it are thrown.
template <typename Task>
std::future<std::invoke_result_t<Task&>> started_or_deferred(Task task) {
    // Held apart from the future's state: a thread that fails to start must not take the task
    // with it.
    auto shared = std::make_shared<Task>(std::move(task));
    const auto call = [shared] { return (*shared)(); };
    try {
        return std::async(std::launch::async, call);
    } catch (const std::system_error& failure) {
        if (!thread_limit_reached(failure)) throw;
        return std::async(std::launch::deferred, call);
    }
}

// Adds up to `count` threads to `threads`, the i-th of them running `body(i)`, and stops at the
// first that the process may not start. Other failures are thrown, with every thread started
// so far still in `threads`.
template <typename Body>
void start_threads(std::vector<std::thread>& threads, std::size_t count, const Body& body) {
    threads.reserve(threads.size() + count);
    try {
        for (std::size_t i = 0; i < count; ++i) threads.emplace_back(body, i);
    } catch (const std::system_error& failure) {
        if (!thread_limit_reached(failure)) throw;
    }
}

}  // namespace tesmira
