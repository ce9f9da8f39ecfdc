// The engine's script mode: one page job on a job folder, run as its own program.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "common/files.hpp"
#include "fixtures/pdf_builder.hpp"
#include "fixtures/temp_folder.hpp"

namespace fs = std::filesystem;
namespace fx = tesmira::fixtures;

namespace {

struct ScriptRun {
    int status = -1;
    std::string out;
};

ScriptRun run_script(const fs::path& folder) {
    const fs::path out = folder.parent_path() / "stdout.txt";
    const std::string command =
        std::string("'") + TESMIRA_PAGE_JOB + "' '" + folder.string() + "' > '" + out.string() + "' 2>/dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, tesmira::read_text_file(out)};
}

class PageJobScript : public ::testing::Test {
protected:
    fx::TempFolder temp;
    fs::path job = temp.path() / "job";
    void SetUp() override { fs::create_directory(job); }
    void pair(double after_width) {
        fx::Page before, after;
        before.media = {0, 0, 100, 100};
        after.media = {0, 0, after_width, 100};
        after.content = fx::fill_rect({10, 10, 20, 20}, 0, 0, 0);
        fx::write_pdf(fx::many_pages(1, before), job / "before.pdf");
        fx::write_pdf(fx::many_pages(1, after), job / "after.pdf");
    }
};

}  // namespace

TEST_F(PageJobScript, SuccessPrintsNothingAndLeavesTheFiles) {
    pair(100);
    tesmira::write_text_file(job / "error.json", "{\"error\": \"an earlier failure\"}");
    tesmira::write_text_file(job / "settings.json",
                             R"({"page": 1, "dpi": 144, "tolerance": 1, "opacity": 10, "border": 2})");
    const ScriptRun run = run_script(job);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    for (const char* name : {"result.png", "result.json", "mask.png", "before.png", "after.png", "error.json"})
        EXPECT_TRUE(fs::exists(job / name)) << name;
}

TEST_F(PageJobScript, FailuresBecomeErrorJson) {
    struct Case {
        double after_width;
        const char* settings;  // null: no settings.json at all
        std::string error;     // the exact file, or its start
        bool exact;
    } cases[] = {
        {100, R"({"dpi": 144, "tolerance": 1, "opacity": 10, "border": 2})", R"({"error": "'page'"})", true},
        {120,
         R"({"page": 1, "dpi": 144, "tolerance": 1, "opacity": 10, "border": 2})",
         R"({"error": "新旧PDFの仕上がりサイズが異なります。"})",
         true},
        {100, nullptr, R"({"error": "filesystem error: cannot open: No such file or directory)", false},
        {100, "{not json", R"({"error": "[json.exception.parse_error)", false},
    };
    for (const Case& c : cases) {
        for (const char* name : {"settings.json", "error.json", "result.json", "result.png"}) fs::remove(job / name);
        pair(c.after_width);
        if (c.settings) tesmira::write_text_file(job / "settings.json", c.settings);
        const ScriptRun run = run_script(job);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        const std::string error = tesmira::read_text_file(job / "error.json");
        if (c.exact)
            EXPECT_EQ(error, c.error);
        else
            EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        EXPECT_FALSE(fs::exists(job / "result.json"));
    }
}
