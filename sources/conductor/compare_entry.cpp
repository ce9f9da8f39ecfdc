#include "conductor/compare_entry.hpp"

#include <sys/stat.h>
#include <unistd.h>

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
#include "common/name_form.hpp"
#include "common/owned_items.hpp"
#include "common/program_text.hpp"
#include "common/termination.hpp"
#include "conductor/compare_command_line.hpp"
#include "conductor/compare_inputs.hpp"
#include "conductor/compare_progress.hpp"
#include "conductor/compare_summary.hpp"
#include "conductor/events.hpp"
#include "conductor/export_pdfs.hpp"
#include "conductor/failure_message.hpp"
#include "conductor/killed_runs.hpp"
#include "conductor/names.hpp"
#include "conductor/settings.hpp"
#include "engine/loop_threads.hpp"

namespace tesmira::conductor {
namespace {

constexpr int EXIT_DIFFERENT = 1, EXIT_TROUBLE = 2, EXIT_TERMINATED = 130;

using Kind = CompareItem::Kind;

// --output must name a folder; the worker's own refusal would speak of the Downloads folder.
void check_output_folder(const std::optional<std::string>& output) {
    if (!output) return;
    std::error_code error;
    const std::filesystem::file_status target = std::filesystem::status(*output, error);
    if (std::filesystem::is_directory(target)) return;
    const std::string named = "--output " + line_safe_name(*output) + ": ";
    if (error && error != std::errc::no_such_file_or_directory) throw std::runtime_error(named + error.message());
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(*output, error)))
        throw std::runtime_error(named + "a link to nothing, not a folder");
    if (!std::filesystem::exists(target)) throw std::runtime_error(named + "no such folder");
    throw std::runtime_error(named + "not a folder");
}

// On a terminal unless --quiet, and unless the events of --json go to that terminal too, whose
// lines the progress would cut into.
bool shows_progress(const CompareCommandLine& line) {
    if (line.progress != ProgressDisplay::automatic) return line.progress == ProgressDisplay::shown;
    return !line.quiet && ::isatty(STDERR_FILENO) == 1 && !(line.json && ::isatty(STDOUT_FILENO) == 1);
}

// The old file's name of the one pair compared, which the run's events do not name.
std::string single_pair_name(const std::vector<CompareItem>& items) {
    const CompareItem* single = nullptr;
    for (const CompareItem& item : items)
        if (item.kind == Kind::compared) {
            if (single) return {};
            single = &item;
        }
    return single ? single->before_name : std::string();
}

// What --json tells of a file set aside before the run, as an event of its own.
void emit_set_aside(const CompareItem& item) {
    if (item.kind == Kind::page_counts_differ)
        emit("page_counts",
             Json{{"before", item.before_name},
                  {"after", item.after_name},
                  {"before_pages", item.before_pages},
                  {"after_pages", item.after_pages}});
    else if (item.kind != Kind::compared)
        emit("only_in",
             Json{{"side", item.kind == Kind::only_before ? "OLD" : "NEW"},
                  {"name", item.kind == Kind::only_before ? item.before_name : item.after_name}});
}

// The worker's run over the pairs to compare; its events go to `progress`.
void run(const std::vector<CompareItem>& items, const CompareCommandLine& line, const Json& settings,
         const Progress& progress) {
    const auto [before, after] = compared_lists(items);
    std::optional<TemporaryFolder> unkept;
    if (!line.output) unkept.emplace(UNKEPT_RESULTS);
    const std::filesystem::path output_root = line.output ? std::filesystem::path(*line.output) : unkept->path();
    sweep_killed_runs(output_root);
    export_pdfs(before, after, output_root, settings, progress);
    if (unkept) unkept->remove();
}

// The items of OLD and NEW, the run over those compared, and the verdict; the events go to the
// summary, the progress line and, with --json, standard output.
int compare(const CompareCommandLine& line) {
    const Json settings = normalized_settings(line.settings);
    check_output_folder(line.output);
    const std::vector<CompareItem> items = compare_items(line.before, line.after, settings);
    CompareSummary summary(items);
    if (line.json)
        for (const CompareItem& item : items) emit_set_aside(item);

    std::optional<ProgressLine> progress_line;
    if (shows_progress(line)) progress_line.emplace(stderr, single_pair_name(items));
    // Files set aside alone need no run; no file at all is the worker's to refuse.
    const bool any_compared =
        std::any_of(items.begin(), items.end(), [](const CompareItem& item) { return item.kind == Kind::compared; });
    if (any_compared || items.empty())
        run(items, line, settings, [&](const std::string& event, const Json& fields) {
            if (line.json) emit(event, fields);
            if (progress_line) progress_line->take(event, fields);
            summary.take(event, fields);
        });
    if (progress_line) progress_line->finish();

    if (!line.json && !line.quiet) write_standard_output(summary.text(line.output.has_value()));
    return summary.any_difference() ? EXIT_DIFFERENT : 0;
}

// Without --output the results go to a private temporary folder, which is no folder of the
// operator's: a failure there is told as one of the temporary folder.
RunFolders run_folders(const CompareCommandLine& line) {
    std::error_code error;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    return {line.output ? std::filesystem::path(*line.output) : temporary, temporary, std::nullopt};
}

int report_failure(const std::string& program, const std::string& message, bool json) {
    if (json) {
        try {
            emit("error", Json{{"message", message}});
        } catch (const std::exception&) {
            // The reader is gone; standard error and the status remain.
        }
    }
    // A name inside the message must not break the line.
    std::fprintf(stderr, "%s: %s\n", program.c_str(), line_safe_name(message).c_str());
    return EXIT_TROUBLE;
}

// The help or the version, or the refusal of the command line.
int print_parse(const std::string& program, const CompareParse& parsed) {
    std::fputs(parsed.error.c_str(), stderr);
    try {
        write_standard_output(parsed.output);
    } catch (const std::system_error& error) {
        return report_failure(program, error.what(), false);
    }
    return parsed.exit_status;
}

}  // namespace

int compare_main(int argc, char** argv) {
    const std::string program = program_name(argc, argv, "tesmira-compare");
    const CompareParse parsed =
        parse_compare_command_line(program, std::vector<std::string>(argv + (argc > 0), argv + argc));
    if (!parsed.command_line) return print_parse(program, parsed);
    ::umask(077);  // the results are as private as the worker's
    install_termination_handler();
    install_interrupt_handler();
    std::signal(SIGPIPE, SIG_IGN);  // a reader gone is a write error, reported like a full disk
    reuse_freed_canvases();
    engine::run_loops_on_own_threads();
    std::string message;
    try {
        return compare(*parsed.command_line);
    } catch (const TerminationRequested&) {
        return EXIT_TERMINATED;
    } catch (const std::exception& error) {
        if (termination_requested()) return EXIT_TERMINATED;
        message = failure_message(error, run_folders(*parsed.command_line));
    }
    return report_failure(program, message, parsed.command_line->json);
}

}  // namespace tesmira::conductor
