#pragma once
#include <exception>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tesmira {

// The private copies that a step hands to a library in place of the files they were made
// from. A library's message names the file it was given, which the operator has never seen;
// such a message is told again with the original's path and otherwise the library's words.
class CopyNames {
public:
    void add(const std::filesystem::path& copy, const std::filesystem::path& original);

    // Runs `work`, which reads the copies. A failure whose message names a copy is thrown again
    // naming the originals (a refusal stays a UserError); any other failure passes unchanged.
    template <class Work>
    decltype(auto) run(Work&& work) const {
        try {
            return std::forward<Work>(work)();
        } catch (const std::exception& error) {
            rethrow_restored(error);
        }
    }

private:
    // The message with every path of a copy replaced by the path of its original.
    std::string restored(const std::string& message) const;
    [[noreturn]] void rethrow_restored(const std::exception& error) const;

    std::vector<std::pair<std::string, std::string>> names_;  // copy, original
};

}  // namespace tesmira
