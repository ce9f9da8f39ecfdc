#pragma once
#include <chrono>
#include <future>
#include <optional>
#include <type_traits>
#include <utility>

#include "common/threads.hpp"

namespace tesmira {

// Runs `first` on this thread and `second` on another at the same time (one after the other when
// no thread can be started), and returns both results (nothing when they return nothing). When
// both fail, the failure of `first` is the one thrown, as if the two ran one after the other.
template <typename First, typename Second>
auto at_once(First first, Second second) {
    auto other = started_or_deferred(std::move(second));
    // The other is waited for before a failure of `first` leaves; a deferred one is not run.
    const auto settle = [&other] {
        if (other.wait_for(std::chrono::seconds(0)) != std::future_status::deferred) other.wait();
    };
    if constexpr (std::is_void_v<decltype(first())>) {
        try {
            first();
        } catch (...) {
            settle();
            throw;
        }
        other.get();
    } else {
        std::optional<decltype(first())> result;
        try {
            result.emplace(first());
        } catch (...) {
            settle();
            throw;
        }
        return std::pair{std::move(*result), other.get()};
    }
}

}  // namespace tesmira
