// A library's message about a damaged PDF names the operator's own file, never the private
// copy that the worker handed to the library.
#include <qpdf/QPDF.hh>

#include "common/files.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;

namespace tesmira::worker_tests {
namespace {

const std::string PROJECT = "00112233445566778899aabbccddeeff";

class WorkerLibraryMessages : public WorkerTest {};

// What the PDF library itself says when it opens `path`.
std::string library_message(const fs::path& path) {
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processFile(path.c_str());
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(opened)";
}

}  // namespace

TEST_F(WorkerLibraryMessages, DamagedPdfsAreNamedByTheOperatorsPath) {
    for (const char* side : {"old", "new"}) fs::create_directories(box.input(side));
    for (const char* name : {"a.pdf", "b.pdf"}) {
        write_sample_pdf(box.input(std::string("old/") + name), 1, 0);
        write_sample_pdf(box.input(std::string("new/") + name), 1, 1);
    }
    const fs::path damaged = box.input("new/b.pdf");
    fs::resize_file(damaged, fs::file_size(damaged) / 2);
    const fs::path archive = box.input("archive");
    fs::create_directories(archive / PROJECT);
    write_text_file(archive / PROJECT / "project.json",
                    R"({"version": 1, "id": ")" + PROJECT + R"(", "name": "検版"})");

    const std::string out = box.output().string(), a_old = box.input("old/a.pdf").string(),
                      b_old = box.input("old/b.pdf").string(), a_new = box.input("new/a.pdf").string();
    const struct {
        const char* what;
        std::vector<std::string> arguments;
        std::string prefix;  // put before the library's message by the worker
    } cases[] = {
        {"one pair", {"--before", b_old, "--after", damaged, "--output-root", out}, ""},
        {"two pairs", {"--before", a_old, b_old, "--after", a_new, damaged, "--output-root", out}, "b.pdf: "},
        {"archive registration",
         {"--after",
          a_new,
          damaged,
          "--output-root",
          out,
          "--archive-mode",
          "register",
          "--archive-root",
          archive.string(),
          "--project-id",
          PROJECT},
         ""},
    };
    const std::string expected = library_message(damaged);
    ASSERT_EQ(expected.rfind(damaged.string() + ": ", 0), 0u) << expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"--settings-json", FAST_SETTINGS});
        const Outcome run = box.run(arguments);
        EXPECT_EQ(run.status, 1);
        ASSERT_EQ(run.names(), std::vector<std::string>{"error"}) << run.out;
        EXPECT_EQ(run.last()["message"], c.prefix + expected);
        EXPECT_TRUE(entries(box.output()).empty());
    }
}

}  // namespace tesmira::worker_tests
