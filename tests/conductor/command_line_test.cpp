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
    auto outcome = parse({"--after",
                          "n1.pdf",
                          "n2.pdf",
                          "--out",
                          "/tmp/out",
                          "--before",
                          "o.pdf",
                          "--before",
                          "p.pdf",
                          "q.pdf",
                          "--settings-json={\"dpi\": 200}",
                          "--archive-m",
                          "register",
                          "--proj",
                          "abc"});
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

// An argument that begins with "-" is a value when it names no option and is a negative
// number or holds a space; every argument is read before any is acted on, so an ambiguous
// option is refused even after "-h"; after "--" every argument is a value.
TEST(CommandLine, ArgumentsBeginningWithADashAreReadAsTheStandardParserReadsThem) {
    const auto summary = [](const tesmira::conductor::ParseOutcome& outcome) -> std::string {
        if (outcome.exit_status == 0 && !outcome.command_line) return "help";
        if (outcome.exit_status == 2) return "refused: " + outcome.error.substr(outcome.error.find("error: ") + 7);
        const auto& line = *outcome.command_line;
        std::string text = "before";
        for (const std::string& path : line.before) text += " [" + path + "]";
        return text + " output [" + line.output_root + "] settings [" + line.settings_json + "]";
    };
    const struct {
        std::vector<std::string> arguments;
        std::string parsed;  // the summary, "help", or "refused: " and the start of the refusal
    } cases[] = {
        {{"--output-root", "/o", "--settings-json", "- 1"}, "before output [/o] settings [- 1]"},
        {{"--before", "-a b.pdf", "c.pdf", "--output-root", "-o x"},
         "before [-a b.pdf] [c.pdf] output [-o x] settings [{}]"},
        {{"--out", "/o", "--bef", "-5", "-0.5", "-.5"}, "before [-5] [-0.5] [-.5] output [/o] settings [{}]"},
        {{"--output-root", "/o", "--before", "-a.pdf"}, "refused: argument --before: expected at least one"},
        {{"--output-root", "/o", "--before", "-1.", "x.pdf"}, "refused: argument --before: expected at least one"},
        {{"--output-root", "/o", "--settings-json", "-h x"}, "refused: argument --settings-json: expected one"},
        {{"-h", "--archive", "x"}, "refused: ambiguous option: --archive could match --archive-mode, --archive-root"},
        {{"-h", "--arch=compare", "--output-root", "/o"}, "refused: ambiguous option: --arch=compare"},
        {{"-hx"}, "refused: argument -h/--help: ignored explicit argument 'x'"},
        {{"--output-root", "/o", "-h", "--unknown", "-a"}, "help"},
        {{"--output-root", "/o", "--before", "--", "a.pdf"}, "refused: argument --before: expected at least one"},
        {{"--output-root", "/o", "--", "--before"}, "refused: unrecognized arguments: -- --before"},
        {{"-h", "--", "--archive"}, "help"},
    };
    for (const auto& c : cases) {
        const std::string parsed = summary(parse(c.arguments));
        EXPECT_EQ(parsed.substr(0, c.parsed.size()), c.parsed) << c.arguments.front() << " ... " << c.arguments.back();
    }
}

TEST(Events, OneLineInCallOrderWithPythonSeparators) {
    using tesmira::conductor::event_line;
    EXPECT_EQ(event_line("progress", Json{{"page", 3}, {"total", 10}}),
              R"({"event": "progress", "page": 3, "total": 10})");
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
    EXPECT_EQ(event_line("x", values),
              R"({"event": "x", "float": 100.0, "small": 1e-05, "list": [1, [], {}], "none": null})");
}
