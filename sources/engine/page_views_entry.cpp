#include "engine/page_views_entry.hpp"

#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>

#include "common/allocator.hpp"
#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/program_text.hpp"
#include "common/termination.hpp"
#include "engine/loop_threads.hpp"
#include "engine/page_views.hpp"
#include "engine/render.hpp"
#include "png/encoder.hpp"

namespace tesmira::engine {
namespace {

constexpr int EXIT_TERMINATED = 130;

std::string usage(const std::string& program) {
    return "usage: " + program + " [-h] [--version] BEFORE.pdf AFTER.pdf PAGE DPI BEFORE.png AFTER.png\n";
}

std::string help(const std::string& program) {
    return usage(program) +
           "\nDraws page PAGE (from 1) of BEFORE.pdf and of AFTER.pdf at DPI (144, 200 or 300) as the\n"
           "comparison saw them, padded to one size, and writes them to BEFORE.png and AFTER.png.\n"
           "Each image appears whole under its name or not at all.\n"
           "\noptions:\n" +
           STANDARD_OPTIONS_HELP;
}

// A whole number and nothing else: "3x", "" or "1e9" is none.
std::optional<int> whole_number(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

int draw(char** argv, int page, int dpi) {
    check_resolution(dpi);
    const PageViews views = draw_page_views(argv[1], argv[2], page, dpi);
    check_termination();
    write_file_atomically(argv[5], png::encode_png(views.before));
    write_file_atomically(argv[6], png::encode_png(views.after));
    return 0;
}

}  // namespace

int page_views_main(int argc, char** argv) {
    const std::string program = program_name(argc, argv, "tesmira-page-views");
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && (first == "-h" || first == "--help")) {
        std::fputs(help(program).c_str(), stdout);
        return 0;
    }
    if (argc == 2 && first == "--version") {
        std::fputs(version_text(program).c_str(), stdout);
        return 0;
    }
    if (argc != 7) {
        std::fputs(usage(program).c_str(), stderr);
        return 2;
    }
    const std::optional<int> page = whole_number(argv[3]), dpi = whole_number(argv[4]);
    if (!page || !dpi) {
        std::fputs((usage(program) + program + ": error: PAGE and DPI are whole numbers\n").c_str(), stderr);
        return 2;
    }
    install_termination_handler();
    reuse_freed_canvases();
    run_loops_on_own_threads();
    try {
        return draw(argv, *page, *dpi);
    } catch (const TerminationRequested&) {
        return EXIT_TERMINATED;
    } catch (const std::exception& error) {
        if (termination_requested()) return EXIT_TERMINATED;
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

}  // namespace tesmira::engine
