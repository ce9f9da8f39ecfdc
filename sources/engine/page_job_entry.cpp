#include "engine/page_job_entry.hpp"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "common/allocator.hpp"
#include "common/files.hpp"
#include "common/json_reading.hpp"
#include "common/json_text.hpp"
#include "common/program_text.hpp"
#include "engine/loop_threads.hpp"
#include "engine/page_job.hpp"

namespace tesmira::engine {
namespace {

std::string usage(const std::string& program) { return "usage: " + program + " [-h] [--version] JOB_FOLDER\n"; }

std::string help(const std::string& program) {
    return usage(program) +
           "\nRuns one page job: compares one page of \"before.pdf\" and \"after.pdf\" in JOB_FOLDER with the\n"
           "settings of its \"settings.json\" and writes the page's images and \"result.json\" there.\n"
           "On failure it writes the message to \"error.json\" and exits 1.\n"
           "\noptions:\n" +
           STANDARD_OPTIONS_HELP;
}

int refuse(const std::string& program, const std::string& message) {
    std::fputs((usage(program) + program + ": error: " + message + "\n").c_str(), stderr);
    return 2;
}

// The job itself: its failure goes to "error.json", where the caller looks for it.
int run(const std::filesystem::path& folder) {
    std::string message;
    try {
        run_job(folder, parse_json(read_text_file(folder / "settings.json")));
        return 0;
    } catch (const std::exception& error) {
        message = error.what();
    }
    try {
        Json report;
        report["error"] = message;
        write_text_file(folder / "error.json", compact_json(report));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n%s\n", message.c_str(), error.what());
    }
    return 1;
}

}  // namespace

int page_job_main(int argc, char** argv) {
    const std::string program = program_name(argc, argv, "tesmira-page-job");
    if (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help")) {
        std::fputs(help(program).c_str(), stdout);
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::fputs(version_text(program).c_str(), stdout);
        return 0;
    }
    if (argc != 2) return refuse(program, argc < 2 ? "the job folder is required" : "only one job folder is taken");
    const std::string argument = argv[1];
    if (argument.starts_with("-") && argument != "-") return refuse(program, "unrecognized option: " + argument);
    std::error_code error;
    if (!std::filesystem::is_directory(argument, error)) return refuse(program, "not a folder: " + argument);
    reuse_freed_canvases();
    run_loops_on_own_threads();
    return run(argument);
}

}  // namespace tesmira::engine
