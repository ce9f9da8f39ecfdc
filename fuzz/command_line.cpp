// The worker's command-line parser on argument vectors: the input's bytes cut at every NUL,
// as the kernel hands over arguments.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "conductor/command_line.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments;
    if (size > 0) {
        const std::string_view bytes(reinterpret_cast<const char*>(data), size);
        for (std::size_t start = 0;;) {
            const std::size_t end = bytes.find('\0', start);
            arguments.emplace_back(bytes.substr(start, end - start));
            if (end == std::string_view::npos) break;
            start = end + 1;
        }
    }
    const tesmira::conductor::ParseOutcome outcome = tesmira::conductor::parse_command_line("TesmiraWorker", arguments);
    // Exactly one outcome: a command line to run, the help (status 0), or a refusal (status 2).
    if (outcome.command_line) {
        if (outcome.exit_status != 0 || !outcome.output.empty() || !outcome.error.empty()) std::abort();
    } else if (outcome.exit_status == 0) {
        if (!outcome.output.starts_with("usage: ") || !outcome.error.empty()) std::abort();
    } else if (outcome.exit_status != 2 || !outcome.output.empty() || !outcome.error.starts_with("usage: ")) {
        std::abort();
    }
    return 0;
}
