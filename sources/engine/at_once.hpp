#pragma once
#include <future>
#include <optional>
#include <utility>

namespace tesmira::engine {

// Runs `first` on this thread and `second` on another at the same time, and returns both results.
// When both fail, the failure of `first` is the one thrown, as if the two ran one after the other.
template <typename First, typename Second>
auto at_once(First first, Second second) {
    auto other = std::async(std::launch::async, std::move(second));
    std::optional<decltype(first())> result;
    try {
        result.emplace(first());
    } catch (...) {
        other.wait();
        throw;
    }
    return std::pair{std::move(*result), other.get()};
}

}  // namespace tesmira::engine
