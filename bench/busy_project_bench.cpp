// How long a run waits for a project that another run holds: the project's history is held
// in a write transaction from here while the worker compares a new PDF in that project; the
// worker gives up after its busy timeout of one second and exits with the busy message.
// Usage: busy_project_bench [ROUNDS]
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/files.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/temp_folder.hpp"
#include "vault/version_store.hpp"

namespace fs = std::filesystem;
namespace fx = tesmira::fixtures;

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const fx::TempFolder folder;
    const std::string project = "0123456789abcdef0123456789abcdef";
    const fs::path root = folder.path() / "archive", output = folder.path() / "out", pdf = folder.path() / "a.pdf";
    fs::create_directories(root / project);
    fs::create_directories(output);
    tesmira::write_text_file(root / project / "project.json",
                             R"({"version": 1, "id": ")" + project + R"(", "name": "見本"})");
    fx::Page page;
    page.media = {0, 0, 100, 100};
    page.content = fx::fill_rect({10, 10, 20, 20}, 0, 0, 0);
    fx::write_pdf(fx::many_pages(1, page), pdf);

    tesmira::vault::Vault holder(root, project);
    holder.db().execute("BEGIN IMMEDIATE");
    std::vector<double> seconds;
    for (int round = 0; round < rounds; ++round) {
        const auto started = std::chrono::steady_clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::execl(TESMIRA_WORKER,
                    TESMIRA_WORKER,
                    "--after",
                    pdf.c_str(),
                    "--output-root",
                    output.c_str(),
                    "--archive-mode",
                    "compare",
                    "--archive-root",
                    root.c_str(),
                    "--project-id",
                    project.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 1) {
            std::fprintf(stderr, "the worker was not refused (status %d)\n", status);
            return 1;
        }
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf(
        "refused while the project is held: median %.3f s, fastest %.3f s, slowest %.3f s (%d runs; the wait is 1 s)\n",
        seconds[seconds.size() / 2],
        seconds.front(),
        seconds.back(),
        rounds);
    return 0;
}
