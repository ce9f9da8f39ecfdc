#include "engine/word_difference.hpp"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

namespace tesmira::engine {
namespace {

// The words as numbers, equal words equal numbers.
std::pair<std::vector<int>, std::vector<int>> numbered(const std::vector<std::u32string>& before,
                                                       const std::vector<std::u32string>& after, std::size_t first,
                                                       std::size_t before_end, std::size_t after_end) {
    std::unordered_map<std::u32string, int> numbers;
    const auto number = [&](const std::u32string& word) {
        return numbers.try_emplace(word, int(numbers.size())).first->second;
    };
    std::vector<int> a, b;
    for (std::size_t i = first; i < before_end; ++i) a.push_back(number(before[i]));
    for (std::size_t j = first; j < after_end; ++j) b.push_back(number(after[j]));
    return {a, b};
}

// The hunks between a and b (offset by `first` in the whole lists) along a longest common
// subsequence, found from the table of the subsequences' lengths of every pair of endings.
std::vector<WordHunk> hunks_along_subsequence(const std::vector<int>& a, const std::vector<int>& b, std::size_t first) {
    const std::size_t m = a.size(), n = b.size(), width = n + 1;
    // Lengths of at most min(m, n) <= 1024 words, since m * n <= MAX_COMPARED_PAIRS.
    std::vector<std::uint16_t> length((m + 1) * width, 0);
    for (std::size_t i = m; i-- > 0;)
        for (std::size_t j = n; j-- > 0;)
            length[i * width + j] = a[i] == b[j] ? std::uint16_t(length[(i + 1) * width + j + 1] + 1)
                                                 : std::max(length[(i + 1) * width + j], length[i * width + j + 1]);
    std::vector<WordHunk> hunks;
    std::size_t i = 0, j = 0, hunk_i = 0, hunk_j = 0;
    const auto close = [&] {
        if (i > hunk_i || j > hunk_j) hunks.push_back({first + hunk_i, first + i, first + hunk_j, first + j});
    };
    while (i < m || j < n) {
        if (i < m && j < n && a[i] == b[j]) {
            close();
            hunk_i = ++i;
            hunk_j = ++j;
        } else if (j == n || (i < m && length[(i + 1) * width + j] >= length[i * width + j + 1])) {
            ++i;
        } else {
            ++j;
        }
    }
    close();
    return hunks;
}

}  // namespace

std::vector<WordHunk> differing_words(const std::vector<std::u32string>& before,
                                      const std::vector<std::u32string>& after) {
    std::size_t first = 0;
    while (first < before.size() && first < after.size() && before[first] == after[first]) ++first;
    std::size_t before_end = before.size(), after_end = after.size();
    while (before_end > first && after_end > first && before[before_end - 1] == after[after_end - 1]) {
        --before_end;
        --after_end;
    }
    const std::size_t m = before_end - first, n = after_end - first;
    if (m == 0 && n == 0) return {};
    if (m == 0 || n == 0 || m * n > MAX_COMPARED_PAIRS) return {{first, before_end, first, after_end}};
    const auto [a, b] = numbered(before, after, first, before_end, after_end);
    return hunks_along_subsequence(a, b, first);
}

}  // namespace tesmira::engine
