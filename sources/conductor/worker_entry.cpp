#include "conductor/worker_entry.hpp"

#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "common/allocator.hpp"
#include "common/errors.hpp"
#include "common/json_reading.hpp"
#include "common/termination.hpp"
#include "conductor/command_line.hpp"
#include "conductor/compared_copies.hpp"
#include "conductor/events.hpp"
#include "conductor/export_pdfs.hpp"
#include "conductor/failure_message.hpp"
#include "conductor/killed_runs.hpp"
#include "conductor/pair_validation.hpp"
#include "conductor/settings.hpp"
#include "engine/loop_threads.hpp"
#include "vault/archive_job.hpp"

namespace tesmira::conductor {
namespace {

constexpr int EXIT_TERMINATED = 130;

std::vector<std::filesystem::path> as_paths(const std::vector<std::string>& texts) {
    return {texts.begin(), texts.end()};
}

std::vector<std::filesystem::path> export_pdfs_exporter(const std::vector<std::filesystem::path>& before,
                                                        const std::vector<std::filesystem::path>& after,
                                                        const std::filesystem::path& output_root, const Json& settings,
                                                        const Progress& progress) {
    return export_pdfs(before, after, output_root, settings, progress);
}

void validate_pair_validator(const std::filesystem::path& before, const std::filesystem::path& after,
                             const Json& settings) {
    validate_pair(before, after, settings);
}

void run(const WorkerCommandLine& line) {
    sweep_killed_runs(line.output_root);
    const Json settings = normalized_settings(parse_json(line.settings_json));
    if (line.compared_copies && !line.compared_copies->empty()) keep_compared_copies_in(*line.compared_copies);
    if (line.archive_mode) {
        if (!line.archive_root || line.archive_root->empty() || !line.project_id || line.project_id->empty())
            throw UserError("保存版の案件を選択してください。");
        vault::archive_job(as_paths(line.after),
                           *line.archive_root,
                           *line.project_id,
                           line.output_root,
                           settings,
                           *line.archive_mode == "register",
                           export_pdfs_exporter,
                           validate_pair_validator,
                           emit);
        return;
    }
    export_pdfs(as_paths(line.before), as_paths(line.after), line.output_root, settings);
}

RunFolders run_folders(const WorkerCommandLine& line) {
    std::error_code error;
    RunFolders folders{line.output_root, std::filesystem::temp_directory_path(error), std::nullopt};
    if (line.archive_mode && line.archive_root) folders.archive_root = *line.archive_root;
    return folders;
}

}  // namespace

int worker_main(int argc, char** argv) {
    ::umask(077);
    install_termination_handler();
    std::signal(SIGPIPE, SIG_IGN);  // a closed reader becomes a write error, not a silent death
    reuse_freed_canvases();
    engine::run_loops_on_own_threads();

    const std::string program = argc > 0 ? std::filesystem::path(argv[0]).filename().string() : "TesmiraWorker";
    const ParseOutcome parsed = parse_command_line(program, std::vector<std::string>(argv + (argc > 0), argv + argc));
    if (!parsed.command_line) {
        std::fputs(parsed.output.c_str(), stdout);
        std::fputs(parsed.error.c_str(), stderr);
        std::fflush(stdout);
        return parsed.exit_status;
    }
    std::string message;
    try {
        run(*parsed.command_line);
        // Once the run has published (and, in archive mode, committed) it is finished: a
        // SIGTERM arriving after its last safe point does not report it as cancelled.
        return 0;
    } catch (const TerminationRequested&) {
        return EXIT_TERMINATED;
    } catch (const std::exception& error) {
        if (termination_requested()) return EXIT_TERMINATED;
        message = failure_message(error, run_folders(*parsed.command_line));
    }
    try {
        emit("error", Json{{"message", message}});
    } catch (const std::exception&) {
        // The reader is gone; the exit status is all that is left to tell.
    }
    return 1;
}

}  // namespace tesmira::conductor
