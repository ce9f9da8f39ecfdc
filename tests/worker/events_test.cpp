#include <gtest/gtest.h>

#include "fixtures/pdf_builder.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
namespace fx = tesmira::fixtures;
using tesmira::Json;
using namespace tesmira::worker_tests;

namespace {

class Events : public WorkerTest {};

std::vector<std::string> keys_of(const Json& record) {
    std::vector<std::string> keys;
    for (const auto& item : record.items()) keys.push_back(item.key());
    return keys;
}

}  // namespace

// The exact text of the lines: "event" first, fields in call order, ", " and ": ", non-ASCII as is.
TEST_F(Events, OnePairRunWritesStartProgressAndOneCompleteLine) {
    write_sample_pdf(box.input("旧.pdf"), 2, 0);
    write_sample_pdf(box.input("新.pdf"), 2, 1);
    WorkerProcess worker(comparison({box.input("旧.pdf")}, {box.input("新.pdf")}), box.temporary());
    const std::optional<Json> complete = worker.wait_for([](const Json& e) { return e.value("event", "") == "complete"; });
    ASSERT_TRUE(complete.has_value());
    // Sent only once the result folder is in place.
    EXPECT_TRUE(fs::is_directory(complete->value("output", "")));
    const Outcome run = worker.finish();

    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.out.back(), '\n');
    ASSERT_EQ(run.lines.size(), 4u) << run.out;
    EXPECT_EQ(run.lines[0], R"({"event": "start", "total": 2})");
    EXPECT_EQ(run.lines[1], R"({"event": "progress", "page": 1, "total": 2})");
    EXPECT_EQ(run.lines[2], R"({"event": "progress", "page": 2, "total": 2})");

    const std::string& line = run.lines[3];
    const std::string folder = fs::canonical(box.output()).string() + "/てすみら検版_";
    EXPECT_EQ(line.rfind(R"({"event": "complete", "output": ")" + folder, 0), 0u) << line;
    EXPECT_EQ(line.find("\\u"), std::string::npos) << line;
    EXPECT_NE(line.find(R"(, "source_name": "旧.pdf"}], "files": 1, "pdfs": [")"), std::string::npos) << line;
    EXPECT_EQ(line.back(), '}');

    const Json& event = run.events[3];
    EXPECT_EQ(keys_of(event), (std::vector<std::string>{"event", "output", "pages", "files", "pdfs"}));
    ASSERT_EQ(event["pages"].size(), 2u);
    for (const Json& page : event["pages"])
        EXPECT_EQ(keys_of(page), (std::vector<std::string>{"page", "file", "strict_file", "regions", "changed_percent",
                                                           "seconds", "warnings", "tiny_marks", "grain",
                                                           "source_name"}));
    EXPECT_EQ(event["pages"][1]["page"], 2);
    EXPECT_GE(event["pages"][1]["regions"].get<int>(), 1);  // the square moved
}

// A line break inside a message travels as the "\n" escape, so the event stays one line.
TEST_F(Events, PairingMessageStaysOnOneLine) {
    const Outcome run = box.run(comparison({box.input("a.pdf"), box.input("c.pdf")},
                                           {box.input("b.pdf"), box.input("c.pdf")}));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "{\"event\": \"error\", \"message\": "
                       "\"同名の相手が見つかりません。\\n変更前だけ: a.pdf\\n変更後だけ: b.pdf\"}\n");
    EXPECT_TRUE(entries(box.output()).empty());
}

// A page that passes the checks before the run but that the comparison refuses: its trim box
// reaches beyond its media box, which the renderer cuts away.
TEST_F(Events, FailureDuringTheRunEndsWithOneErrorAfterTheEventsSoFar) {
    fx::Page page;
    page.media = {0, 0, 100, 100};
    fx::Document old_document = fx::many_pages(3, page);
    fx::Document new_document = old_document;
    new_document.pages[1].media = {0, 0, 50, 100};
    new_document.pages[1].trim = fx::Rect{0, 0, 100, 100};
    fx::write_pdf(old_document, box.input("a.pdf"));
    fx::write_pdf(new_document, box.input("b.pdf"));

    const Outcome run = box.run(comparison({box.input("a.pdf")}, {box.input("b.pdf")}));
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.names(), (std::vector<std::string>{"start", "progress", "progress", "error"})) << run.out;
    EXPECT_EQ(run.events[2]["page"], 2);
    EXPECT_EQ(run.lines.back(), R"({"event": "error", "message": "新旧PDFの仕上がりサイズが異なります。"})");
    EXPECT_TRUE(entries(box.output()).empty());
}
