#pragma once
#include <future>
#include <optional>
#include <type_traits>
#include <utility>

namespace tesmira {

// Runs `first` on this thread and `second` on another at the same time, and returns both results
// (nothing when they return nothing). When both fail, the failure of `first` is the one thrown,
// as if the two ran one after the other.
template <typename First, typename Second>
auto at_once(First first, Second second) {
    auto other = std::async(std::launch::async, std::move(second));
    if constexpr (std::is_void_v<decltype(first())>) {
        try {
            first();
        } catch (...) {
            other.wait();
            throw;
        }
        other.get();
    } else {
        std::optional<decltype(first())> result;
        try {
            result.emplace(first());
        } catch (...) {
            other.wait();
            throw;
        }
        return std::pair{std::move(*result), other.get()};
    }
}

}  // namespace tesmira
