#pragma once
// Where the words of two texts differ: a diff over words, for the smallest span of a change's
// text that differs.
#include <cstddef>
#include <string>
#include <vector>

namespace tesmira::engine {

// A stretch where two word lists differ: words [before_begin, before_end) of the old list stand
// where words [after_begin, after_end) of the new list do; one side is empty for words deleted
// or inserted.
struct WordHunk {
    std::size_t before_begin = 0, before_end = 0, after_begin = 0, after_end = 0;
    friend bool operator==(const WordHunk&, const WordHunk&) = default;
};

// Of the words between the common beginning and end, at most this many pairs are compared.
inline constexpr std::size_t MAX_COMPARED_PAIRS = std::size_t(1) << 20;

// The stretches of `before` and `after` outside a longest common subsequence of their words, in
// order; none when the lists are equal. The common beginning and end are taken off first, so an
// edit among repeated words is found where it is. What remains between them is one stretch
// when it is too long to compare word by word (more than MAX_COMPARED_PAIRS pairs of words).
std::vector<WordHunk> differing_words(const std::vector<std::u32string>& before,
                                      const std::vector<std::u32string>& after);

}  // namespace tesmira::engine
