// File names are bytes: a name that is not UTF-8, or that holds a line break, goes through a
// whole run of the worker and of tesmira-compare and comes out in its written form.
#include <gtest/gtest.h>

#include "common/name_form.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
using tesmira::Json;
using namespace tesmira::worker_tests;

namespace {

const std::string SHIFT_JIS_NAME = "\x8c\x9f\x94\xc5.pdf";  // "検版.pdf" in Shift_JIS
const std::string WRITTEN_NAME = "\\x8c\\x9f\\x94\\xc5.pdf";

class FileNames : public WorkerTest {
protected:
    // "old" and "new", each with ok.pdf and `odd`, both changed on their two pages.
    void write_folders(const std::string& odd) const {
        for (const char* side : {"old", "new"}) {
            fs::create_directories(box.input(side));
            const int variant = std::string(side) == "new";
            write_sample_pdf(box.input(side) / "ok.pdf", 2, variant);
            write_sample_pdf(box.input(side) / odd, 2, variant);
        }
    }
};

}  // namespace

TEST_F(FileNames, ANameThatIsNotUtf8GoesThroughTheWorker) {
    write_folders(SHIFT_JIS_NAME);
    const Outcome run = box.run(comparison({box.input("old/ok.pdf"), box.input("old") / SHIFT_JIS_NAME},
                                           {box.input("new/ok.pdf"), box.input("new") / SHIFT_JIS_NAME}));
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    ASSERT_EQ(run.last()["event"], "complete") << run.out;
    std::vector<std::string> progress_names;
    for (const Json& event : run.events)
        if (event["event"] == "progress") progress_names.push_back(event["name"]);
    EXPECT_EQ(progress_names, (std::vector<std::string>{"ok.pdf", "ok.pdf", WRITTEN_NAME, WRITTEN_NAME}));
    const Json& pages = run.last()["pages"];
    ASSERT_EQ(pages.size(), 4u);
    EXPECT_EQ(pages[2]["source_name"], WRITTEN_NAME);
    EXPECT_EQ(pages[2]["regions"], 2);
    // The result PDFs we name are UTF-8, the odd name's stem left out as other unprintable ones.
    ASSERT_EQ(run.last()["pdfs"].size(), 2u);
    const fs::path odd_result = run.last()["pdfs"][1].get<std::string>();
    EXPECT_TRUE(fs::is_regular_file(odd_result)) << odd_result;
    EXPECT_EQ(odd_result.filename().string().rfind("検版_原稿_", 0), 0u) << odd_result;
}

TEST_F(FileNames, TheSummaryWritesOddNamesOnOneLineEach) {
    const struct {
        std::string name, shown;
    } cases[] = {{SHIFT_JIS_NAME, WRITTEN_NAME}, {"two\nlines.pdf", "two\\x0alines.pdf"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        fs::remove_all(box.input("old"));
        fs::remove_all(box.input("new"));
        write_folders(c.name);
        const Outcome run =
            box.run_program(TESMIRA_COMPARE, {"--dpi", "144", box.input("old").string(), box.input("new").string()});
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("\n" + c.shown + " → " + c.shown + ": 2 pages, 2 changed\n  page 1: 2 regions ("),
                  std::string::npos)
            << run.out;
        EXPECT_EQ(run.out.find(c.name), std::string::npos) << "no raw name: " << run.out;

        const Outcome json = box.run_program(
            TESMIRA_COMPARE, {"--json", "--dpi", "144", box.input("old").string(), box.input("new").string()});
        EXPECT_EQ(json.status, 1) << json.err;
        ASSERT_EQ(json.last()["event"], "complete") << json.out;
        EXPECT_EQ(tesmira::name_bytes(json.last()["pages"][3]["source_name"].get<std::string>()), c.name);
    }
}
