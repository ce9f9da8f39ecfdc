// What refusing deep nesting costs when JSON text is read: parse_json against a plain
// Json::parse of the same text, for long lists of small records (the shape that made the
// depth check quadratic) and for a settings record padded with them. A ratio near 1 at every
// size shows the check costs no more than the parse; the callback parser it replaced grew with
// the square of a list's length (26 s against 0.17 s at 10 MB).
// Usage: json_reading [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "common/json_reading.hpp"

namespace {

double median_seconds(int rounds, const std::function<std::size_t()>& read) {
    std::vector<double> seconds;
    for (int round = 0; round < rounds; ++round) {
        const auto started = std::chrono::steady_clock::now();
        if (read() == 0) std::abort();  // keeps the value alive until it has been counted
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

// `[{"a": 1, "page": N, "name": "..."}, ...]` of about `bytes` bytes.
std::string list_of_records(std::size_t bytes) {
    std::string text = "[";
    for (int i = 0; text.size() < bytes; ++i) {
        if (i > 0) text += ", ";
        text += R"({"a": 1, "page": )" + std::to_string(i) + R"(, "name": "変更後-)" + std::to_string(i) + R"(.pdf"})";
    }
    return text + "]";
}

std::string padded_settings(std::size_t bytes) {
    const std::string list = list_of_records(bytes);
    return R"({"pad": )" + list + R"(, "proof.settings.v1": {"dpi": 200, "tolerance": 0, "opacity": 0.3}})";
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    struct Case {
        const char* shape;
        std::size_t megabytes;
        std::string (*make)(std::size_t);
    };
    const std::vector<Case> cases = {{"list of records", 1, list_of_records},
                                     {"list of records", 10, list_of_records},
                                     {"list of records", 70, list_of_records},
                                     {"padded settings", 2, padded_settings},
                                     {"padded settings", 10, padded_settings}};
    std::printf("reading JSON text, median of %d rounds\n", rounds);
    std::printf("%-16s %6s %14s %14s %8s\n", "shape", "MB", "plain parse s", "parse_json s", "ratio");
    for (const Case& c : cases) {
        const std::string text = c.make(c.megabytes * 1000 * 1000);
        const double plain = median_seconds(rounds, [&] { return tesmira::Json::parse(text).size(); });
        const double limited = median_seconds(rounds, [&] { return tesmira::parse_json(text).size(); });
        std::printf("%-16s %6.1f %14.3f %14.3f %8.2f\n", c.shape, text.size() / 1e6, plain, limited, limited / plain);
    }
    return 0;
}
