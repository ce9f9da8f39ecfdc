// Runs one page job on a job folder: "settings.json" in, the page's files out, and on
// failure "error.json" with the failure's message. Prints nothing.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "common/allocator.hpp"
#include "common/files.hpp"
#include "common/json_reading.hpp"
#include "common/json_text.hpp"
#include "engine/page_job.hpp"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s JOB_FOLDER\n", argv[0]);
        return 2;
    }
    tesmira::reuse_freed_canvases();
    const std::filesystem::path folder = argv[1];
    std::string message;
    try {
        tesmira::engine::run_job(folder, tesmira::parse_json(tesmira::read_text_file(folder / "settings.json")));
        return 0;
    } catch (const std::exception& error) {
        message = error.what();
    }
    tesmira::Json report;
    report["error"] = message;
    tesmira::write_text_file(folder / "error.json", tesmira::compact_json(report));
    return 1;
}
