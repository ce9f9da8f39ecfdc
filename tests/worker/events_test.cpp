#include <gtest/gtest.h>

#include "fixtures/hostile_pdfs.hpp"
#include "fixtures/pdf_builder.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
namespace fx = tesmira::fixtures;
using tesmira::Json;
using namespace tesmira::worker_tests;

namespace {

class WorkerEvents : public WorkerTest {};

std::vector<std::string> keys_of(const Json& record) {
    std::vector<std::string> keys;
    for (const auto& item : record.items()) keys.push_back(item.key());
    return keys;
}

}  // namespace

// The exact text of the lines: "event" first, fields in call order, ", " and ": ", non-ASCII as is.
TEST_F(WorkerEvents, OnePairRunWritesStartProgressAndOneCompleteLine) {
    write_sample_pdf(box.input("旧.pdf"), 2, 0);
    write_sample_pdf(box.input("新.pdf"), 2, 1);
    WorkerProcess worker(comparison({box.input("旧.pdf")}, {box.input("新.pdf")}), box.temporary());
    const std::optional<Json> complete =
        worker.wait_for([](const Json& e) { return e.value("event", "") == "complete"; });
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
    EXPECT_NE(line.find(R"(, "source_name": "旧.pdf", "boxes": [)"), std::string::npos) << line;
    EXPECT_NE(line.find(R"(}], "files": 1, "pdfs": [")"), std::string::npos) << line;
    EXPECT_EQ(line.back(), '}');

    const Json& event = run.events.at(3);
    EXPECT_EQ(keys_of(event), (std::vector<std::string>{"event", "output", "pages", "files", "pdfs"}));
    ASSERT_EQ(event.at("pages").size(), 2u);
    for (const Json& page : event.at("pages"))
        EXPECT_EQ(keys_of(page),
                  (std::vector<std::string>{"page",
                                            "file",
                                            "strict_file",
                                            "regions",
                                            "changed_percent",
                                            "seconds",
                                            "warnings",
                                            "tiny_marks",
                                            "grain",
                                            "source_name",
                                            "boxes",
                                            "boxes_truncated",
                                            "header_height",
                                            "look_only_places",
                                            "changes_left_out",
                                            "changes"}));
    EXPECT_EQ(event.at("pages").at(1).at("page"), 2);
    EXPECT_GE(event.at("pages").at(1).at("regions").get<int>(), 1);  // the square moved
    for (const Json& page : event.at("pages")) {
        EXPECT_EQ(page.at("boxes").size(), page.at("regions").get<std::size_t>());
        EXPECT_EQ(page.at("boxes_truncated"), false);
        EXPECT_GT(page.at("header_height").get<int>(), 0);
        EXPECT_EQ(page.at("look_only_places"), 0);
        EXPECT_EQ(page.at("changes_left_out"), 0);
        // Every region is in a change: the square moved on both pages.
        EXPECT_EQ(page.at("changes").size(), 1u);
        int regions = 0;
        for (const Json& change : page.at("changes")) {
            EXPECT_EQ(
                keys_of(change),
                (std::vector<std::string>{"box", "box_mm", "regions", "old_text", "new_text", "old_span", "new_span"}));
            regions += change.at("regions").get<int>();
        }
        EXPECT_EQ(regions, page.at("regions").get<int>());
    }
}

// A line break inside a message travels as the "\n" escape, so the event stays one line.
TEST_F(WorkerEvents, PairingMessageStaysOnOneLine) {
    const Outcome run =
        box.run(comparison({box.input("a.pdf"), box.input("c.pdf")}, {box.input("b.pdf"), box.input("c.pdf")}));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "{\"event\": \"error\", \"message\": "
              "\"同名の相手が見つかりません。\\n変更前だけ: a.pdf\\n変更後だけ: b.pdf\"}\n");
    EXPECT_TRUE(entries(box.output()).empty());
}

// A page that passes the checks before the run but that the comparison refuses: its trim box
// reaches beyond its media box, which the renderer cuts away. With one pair or several, the run
// ends with the events so far and one "error", and the output root is as it was.
TEST_F(WorkerEvents, FailureDuringTheRunEndsWithOneErrorAfterTheEventsSoFar) {
    fx::Page page;
    page.media = {0, 0, 100, 100};
    const fx::Document good = fx::many_pages(3, page);
    // Page 2 of the bad file passes the pair's checks and is refused when it is drawn.
    const auto write_bad = [](const fs::path& path) {
        fx::write_pdf(fx::many_pages(3, fx::Page{{0, 0, 100, 100}}), path);
        fx::add_declared_huge_image(path, 1);
    };

    const struct {
        const char* what;
        std::vector<std::string> names;  // pairs; the one named "bad.pdf" fails on its page 2
    } cases[] = {{"one pair", {"bad.pdf"}}, {"second of three pairs", {"a.pdf", "bad.pdf", "c.pdf"}}};
    int number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = box.input(std::to_string(++number));
        std::vector<fs::path> before, after;
        for (const std::string& name : c.names) {
            fs::create_directories(folder / "old");
            fs::create_directories(folder / "new");
            fx::write_pdf(good, before.emplace_back(folder / "old" / name));
            if (name == "bad.pdf")
                write_bad(after.emplace_back(folder / "new" / name));
            else
                fx::write_pdf(good, after.emplace_back(folder / "new" / name));
        }
        const Outcome run = box.run(comparison(before, after));
        EXPECT_EQ(run.status, 1);
        const int failing_page = c.names.size() == 1 ? 2 : 5;  // overall number of bad.pdf's page 2
        std::vector<std::string> expected = {"start"};
        expected.insert(expected.end(), std::size_t(failing_page), "progress");
        expected.push_back("error");
        ASSERT_EQ(run.names(), expected) << run.out;
        EXPECT_EQ(run.events.at(std::size_t(failing_page)).at("page"), failing_page);
        EXPECT_EQ(
            run.lines.back(),
            R"({"event": "error", "message": "2ページ: 大きすぎる画像があるため比較できません（展開後1GBまで）。"})");
        EXPECT_TRUE(entries(box.output()).empty());
        EXPECT_TRUE(entries(box.temporary()).empty());
    }
}

// Numbers keep their kind on the line: a float is written with its decimal point even when whole.
TEST_F(WorkerEvents, FloatsKeepTheirDecimalPoint) {
    write_sample_pdf(box.input("a.pdf"), 1, 0);
    const Outcome run = box.run(comparison({box.input("a.pdf")}, {box.input("a.pdf")}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.lines.back().find(R"("regions": 0, "changed_percent": 0.0, "seconds": )"), std::string::npos)
        << run.lines.back();
}
