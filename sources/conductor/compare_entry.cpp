#include "conductor/compare_entry.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/allocator.hpp"
#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/owned_items.hpp"
#include "common/program_text.hpp"
#include "common/termination.hpp"
#include "conductor/compare_command_line.hpp"
#include "conductor/compare_summary.hpp"
#include "conductor/events.hpp"
#include "conductor/export_pdfs.hpp"
#include "conductor/killed_runs.hpp"
#include "conductor/names.hpp"
#include "conductor/settings.hpp"
#include "engine/loop_threads.hpp"

namespace tesmira::conductor {
namespace {

constexpr int EXIT_DIFFERENT = 1, EXIT_TROUBLE = 2, EXIT_TERMINATED = 130;

using Paths = std::vector<std::filesystem::path>;

// The PDFs directly in a folder, in name order: what the worker pairs by name.
Paths pdfs_in(const std::filesystem::path& folder) {
    Paths pdfs;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder))
        if (is_pdf_name(entry.path().filename().string()) && entry.is_regular_file()) pdfs.push_back(entry.path());
    std::sort(pdfs.begin(), pdfs.end());
    return pdfs;
}

// OLD and NEW as the worker's two lists. Two folders give their PDFs; anything else is taken
// as one file each, for the worker to check.
std::pair<Paths, Paths> input_lists(const CompareCommandLine& line) {
    std::error_code error;
    const bool before_folder = std::filesystem::is_directory(line.before, error);
    const bool after_folder = std::filesystem::is_directory(line.after, error);
    if (before_folder != after_folder)
        throw std::invalid_argument("OLD and NEW must both be PDF files or both be folders");
    if (before_folder) return {pdfs_in(line.before), pdfs_in(line.after)};
    return {{line.before}, {line.after}};
}

// The run itself: the events go to the summary, and to standard output with --json.
int compare(const CompareCommandLine& line) {
    const Json settings = normalized_settings(line.settings);
    const auto [before, after] = input_lists(line);
    std::optional<TemporaryFolder> unkept;
    if (!line.output) unkept.emplace(UNKEPT_RESULTS);
    const std::filesystem::path output_root = line.output ? std::filesystem::path(*line.output) : unkept->path();
    sweep_killed_runs(output_root);

    CompareSummary summary;
    export_pdfs(before, after, output_root, settings, [&](const std::string& event, const Json& fields) {
        if (line.json) emit(event, fields);
        summary.take(event, fields);
    });
    if (unkept) unkept->remove();
    if (!line.json) std::fputs(summary.text(line.output.has_value()).c_str(), stdout);
    return summary.any_page_differs() ? EXIT_DIFFERENT : 0;
}

int report_failure(const std::string& program, const std::string& message, bool json) {
    if (json) {
        try {
            emit("error", Json{{"message", message}});
        } catch (const std::exception&) {
            // The reader is gone; standard error and the status remain.
        }
    }
    std::fprintf(stderr, "%s: %s\n", program.c_str(), message.c_str());
    return EXIT_TROUBLE;
}

}  // namespace

int compare_main(int argc, char** argv) {
    const std::string program = program_name(argc, argv, "tesmira-compare");
    const CompareParse parsed =
        parse_compare_command_line(program, std::vector<std::string>(argv + (argc > 0), argv + argc));
    if (!parsed.command_line) {
        std::fputs(parsed.output.c_str(), stdout);
        std::fputs(parsed.error.c_str(), stderr);
        return parsed.exit_status;
    }
    ::umask(077);  // the results are as private as the worker's
    install_termination_handler();
    install_interrupt_handler();
    std::signal(SIGPIPE, SIG_IGN);
    reuse_freed_canvases();
    engine::run_loops_on_own_threads();
    std::string message;
    try {
        return compare(*parsed.command_line);
    } catch (const TerminationRequested&) {
        return EXIT_TERMINATED;
    } catch (const std::exception& error) {
        if (termination_requested()) return EXIT_TERMINATED;
        message = error.what();
    }
    return report_failure(program, message, parsed.command_line->json);
}

}  // namespace tesmira::conductor
