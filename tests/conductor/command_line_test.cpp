#include <gtest/gtest.h>

#include "conductor/command_line.hpp"
#include "conductor/events.hpp"

using tesmira::Json;
using tesmira::conductor::parse_command_line;

namespace {

tesmira::conductor::ParseOutcome parse(std::vector<std::string> arguments) {
    return parse_command_line("TesmiraWorker", arguments);
}

}  // namespace

TEST(CommandLine, ReadsTheOptionsWithPrefixesAndLastOccurrence) {
    auto outcome = parse({"--after", "n1.pdf", "n2.pdf", "--out", "/tmp/out", "--before", "o.pdf", "--before", "p.pdf",
                          "q.pdf", "--settings-json={\"dpi\": 200}", "--archive-m", "register", "--proj", "abc"});
    ASSERT_TRUE(outcome.command_line);
    const auto& line = *outcome.command_line;
    EXPECT_EQ(line.after, (std::vector<std::string>{"n1.pdf", "n2.pdf"}));
    EXPECT_EQ(line.before, (std::vector<std::string>{"p.pdf", "q.pdf"}));
    EXPECT_EQ(line.output_root, "/tmp/out");
    EXPECT_EQ(line.settings_json, "{\"dpi\": 200}");
    EXPECT_EQ(line.archive_mode, "register");
    EXPECT_EQ(line.project_id, "abc");
    EXPECT_FALSE(line.archive_root);

    auto defaults = parse({"--output-root", "/tmp"});
    ASSERT_TRUE(defaults.command_line);
    EXPECT_EQ(defaults.command_line->settings_json, "{}");
    EXPECT_TRUE(defaults.command_line->before.empty());
}

TEST(CommandLine, RefusalsExitWithStatusTwoAndUsageOnStandardError) {
    const std::vector<std::vector<std::string>> refused = {
        {},
        {"--after", "a.pdf"},
        {"--output-root"},
        {"--output-root", "/tmp", "--archive", "compare"},
        {"--output-root", "/tmp", "--archive-mode", "delete"},
        {"--output-root", "/tmp", "stray"},
        {"--output-root", "/tmp", "--unknown", "x"},
        {"--output-root", "/tmp", "--before"},
        {"--output-root", "/tmp", "--before", "--after", "x.pdf"},
    };
    for (const auto& arguments : refused) {
        auto outcome = parse(arguments);
        EXPECT_FALSE(outcome.command_line);
        EXPECT_EQ(outcome.exit_status, 2);
        EXPECT_TRUE(outcome.output.empty());
        EXPECT_EQ(outcome.error.rfind("usage: TesmiraWorker", 0), 0u) << outcome.error;
    }
    EXPECT_NE(parse({"--output-root", "/tmp", "--archive", "x"}).error.find("ambiguous option: --archive"),
              std::string::npos);
}

TEST(CommandLine, HelpGoesToStandardOutputWithStatusZero) {
    for (const char* flag : {"-h", "--help", "--he"}) {
        auto outcome = parse({flag});
        EXPECT_FALSE(outcome.command_line);
        EXPECT_EQ(outcome.exit_status, 0);
        EXPECT_EQ(outcome.output.rfind("usage: TesmiraWorker", 0), 0u);
        EXPECT_NE(outcome.output.find("--archive-mode {compare,register}"), std::string::npos);
        EXPECT_TRUE(outcome.error.empty());
    }
}

TEST(Events, OneLineInCallOrderWithPythonSeparators) {
    using tesmira::conductor::event_line;
    EXPECT_EQ(event_line("progress", Json{{"page", 3}, {"total", 10}}), R"({"event": "progress", "page": 3, "total": 10})");
    EXPECT_EQ(event_line("error", Json{{"message", "保存版の案件を選択してください。"}}),
              "{\"event\": \"error\", \"message\": \"保存版の案件を選択してください。\"}");
    EXPECT_EQ(event_line("error", Json{{"message", "同名の相手が見つかりません。\n変更前だけ: a.pdf"}}),
              "{\"event\": \"error\", \"message\": \"同名の相手が見つかりません。\\n変更前だけ: a.pdf\"}");
    Json start;
    start["total"] = 5;
    start["files"] = 2;
    EXPECT_EQ(event_line("start", start), R"({"event": "start", "total": 5, "files": 2})");
    Json values;
    values["float"] = 100.0;
    values["small"] = 1e-05;
    values["list"] = Json::array({1, Json::array(), Json::object()});
    values["none"] = nullptr;
    EXPECT_EQ(event_line("x", values), R"({"event": "x", "float": 100.0, "small": 1e-05, "list": [1, [], {}], "none": null})");
}
