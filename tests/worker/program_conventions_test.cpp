// Every program of the package answers --help and --version, and refuses a wrong command line
// with its usage and status 2 instead of aborting.
#include <gtest/gtest.h>

#include "common/files.hpp"
#include "worker_process.hpp"

using namespace tesmira::worker_tests;

namespace {

class ProgramConventions : public WorkerTest {};

struct Program {
    const char* path;
    const char* name;
};
const Program PROGRAMS[] = {{TESMIRA_WORKER, "TesmiraWorker"},
                            {TESMIRA_PAGE_JOB, "tesmira-page-job"},
                            {TESMIRA_PAGE_VIEWS, "tesmira-page-views"},
                            {TESMIRA_COMPARE, "tesmira-compare"}};

}  // namespace

TEST_F(ProgramConventions, HelpAndVersionPrintAndExitZero) {
    for (const Program& program : PROGRAMS) {
        SCOPED_TRACE(program.name);
        const Outcome help = box.run_program(program.path, {"--help"});
        EXPECT_EQ(help.status, 0) << help.err;
        EXPECT_EQ(help.err, "");
        EXPECT_EQ(help.out.rfind(std::string("usage: ") + program.name, 0), 0u) << help.out;
        EXPECT_NE(help.out.find("--version"), std::string::npos);

        const Outcome version = box.run_program(program.path, {"--version"});
        EXPECT_EQ(version.status, 0) << version.err;
        EXPECT_EQ(version.out.rfind(std::string(program.name) + " " TESMIRA_VERSION "\n", 0), 0u) << version.out;
    }
}

// No program loads OpenCV's image codecs (and the hundred libraries behind them): the worker's
// start is part of every run. The image files it reads go through libpng and libjpeg.
TEST_F(ProgramConventions, NoProgramLoadsAnImageCodecLibrary) {
    for (const Program& program : PROGRAMS) {
        SCOPED_TRACE(program.name);
        const Outcome libraries = box.run_program("/usr/bin/ldd", {program.path});
        ASSERT_EQ(libraries.status, 0) << libraries.err;
        EXPECT_NE(libraries.out.find("libtesmira.so"), std::string::npos) << libraries.out;
        EXPECT_NE(libraries.out.find("libopencv_core"), std::string::npos) << libraries.out;
        EXPECT_EQ(libraries.out.find("imgcodecs"), std::string::npos) << libraries.out;
    }
}

// The worker's help says what each option is for.
TEST_F(ProgramConventions, WorkerHelpDescribesEveryOption) {
    const Outcome help = box.run({"--help"});
    for (const char* text : {"the old PDFs",
                             "the new PDFs",
                             "the folder the time-stamped result folder goes in",
                             "the comparison settings as a JSON record",
                             "Exit status: 0"})
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
}

TEST_F(ProgramConventions, HelperRefusalsExitTwoWithTheUsage) {
    const std::string file = box.input("file.txt").string();
    tesmira::write_text_file(file, "not a folder");
    const struct {
        const char* program;
        std::vector<std::string> arguments;
        const char* named;
    } cases[] = {
        {TESMIRA_PAGE_JOB, {}, "the job folder is required"},
        {TESMIRA_PAGE_JOB, {"a", "b"}, "only one job folder is taken"},
        {TESMIRA_PAGE_JOB, {"--frobnicate"}, "unrecognized option: --frobnicate"},
        {TESMIRA_PAGE_JOB, {box.input("missing").string()}, "not a folder"},
        {TESMIRA_PAGE_JOB, {file}, "not a folder"},
        {TESMIRA_PAGE_VIEWS, {"a.pdf"}, "usage:"},
        {TESMIRA_PAGE_VIEWS, {"a.pdf", "b.pdf", "x", "144", "a.png", "b.png"}, "PAGE and DPI are whole numbers"},
        {TESMIRA_PAGE_VIEWS, {"a.pdf", "b.pdf", "1", "144.5", "a.png", "b.png"}, "PAGE and DPI are whole numbers"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.named);
        const Outcome run = box.run_program(c.program, c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("usage: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
    }
}
