// tesmira-compare: the worker's run for people and scripts, exiting like diff.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <optional>
#include <regex>
#include <thread>

#include "common/files.hpp"
#include "fixtures/pdf_builder.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
using tesmira::Json;
using namespace tesmira::worker_tests;

namespace {

class CompareCommand : public WorkerTest {
protected:
    Outcome compare(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"--dpi", "144"});
        return box.run_program(TESMIRA_COMPARE, arguments);
    }
    // Two folders "old" and "new" with a.pdf (changed on both pages) and b.pdf (unchanged).
    void write_folders() const {
        fs::create_directories(box.input("old"));
        fs::create_directories(box.input("new"));
        write_sample_pdf(box.input("old/a.pdf"), 2, 0);
        write_sample_pdf(box.input("new/a.pdf"), 2, 1);
        write_sample_pdf(box.input("old/b.pdf"), 1, 0);
        write_sample_pdf(box.input("new/b.pdf"), 1, 0);
    }
};

std::string path(const Sandbox& box, const std::string& relative) { return box.input(relative).string(); }

}  // namespace

// The verdict as diff gives it, the summary for a person, and nothing kept without --output.
TEST_F(CompareCommand, ExitsLikeDiffAndKeepsNothing) {
    write_folders();
    const std::string old_b = path(box, "old/b.pdf"), new_b = path(box, "new/b.pdf");
    const std::string old_a = path(box, "old/a.pdf"), new_a = path(box, "new/a.pdf");
    const struct {
        const char* what;
        std::string before, after;
        int status;
        std::string summary;
    } cases[] = {
        {"unchanged file", old_b, new_b, 0, old_b + " → " + new_b + ": 1 page, unchanged\n"},
        {"changed file", old_a, new_a, 1, old_a + " → " + new_a + ": 2 pages, 2 changed\n  page 1: 2 regions ("},
        {"folders paired by name",
         path(box, "old"),
         path(box, "new"),
         1,
         "a.pdf → a.pdf: 2 pages, 2 changed\n  page 1: 2 regions ("},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome run = compare({c.before, c.after});
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.rfind(c.summary, 0), 0u) << run.out;
        EXPECT_EQ(run.out.find("Result folder"), std::string::npos);
        EXPECT_EQ(entries(box.output()), std::set<std::string>{});
    }
    const Outcome both = compare({path(box, "old"), path(box, "new")});
    EXPECT_NE(both.out.find("\nb.pdf → b.pdf: 1 page, unchanged\n"), std::string::npos) << both.out;
}

// What a script can tell from the status alone, and from the summary's lines: documents that
// differ without a page compared (page counts, a PDF without a partner) exit 1 as a changed
// page does, the other pairs still compared; a file that cannot be compared exits 2. --quiet
// prints nothing and exits the same.
TEST_F(CompareCommand, VerdictsOfFilesAndFolders) {
    write_folders();
    write_sample_pdf(box.input("old/c.pdf"), 2, 0);  // three pages against two
    write_sample_pdf(box.input("new/c.pdf"), 3, 0);
    write_sample_pdf(box.input("old/gone.pdf"), 1, 0);
    write_sample_pdf(box.input("new/added.pdf"), 1, 0);
    fs::create_directories(box.input("one-old"));
    fs::create_directories(box.input("one-new"));
    write_sample_pdf(box.input("one-old/price-list.pdf"), 1, 0);
    write_sample_pdf(box.input("one-new/catalogue.pdf"), 1, 0);
    write_sample_pdf(box.input("wide.pdf"), 2, 0, 200, 100);
    tesmira::write_text_file(box.input("broken.pdf"), "not a PDF at all");
    const std::string old_b = path(box, "old/b.pdf"), old_c = path(box, "old/c.pdf"), new_c = path(box, "new/c.pdf");
    const struct {
        const char* what;
        std::vector<std::string> arguments;
        int status;
        std::string out;  // the whole summary; for status 2 the message on standard error
    } cases[] = {
        {"different page counts",
         {old_c, new_c},
         1,
         old_c + " → " + new_c + ": 2 and 3 pages, different page counts\n"},
        {"folders with files on one side only",
         {path(box, "old"), path(box, "new")},
         1,
         "a.pdf → a.pdf: 2 pages, 2 changed\n"
         "  page 1: 2 regions (0.4444% of the page)\n"
         "  page 1: change at 8.8, 22.9 mm (5.3 × 3.5 mm)\n"
         "  page 2: 2 regions (0.4444% of the page)\n"
         "  page 2: change at 8.8, 22.9 mm (5.3 × 3.5 mm)\n"
         "only in NEW: added.pdf\n"
         "b.pdf → b.pdf: 1 page, unchanged\n"
         "c.pdf → c.pdf: 2 and 3 pages, different page counts\n"
         "only in OLD: gone.pdf\n"},
        {"folders of one PDF each, named differently",
         {path(box, "one-old"), path(box, "one-new")},
         1,
         "only in NEW: catalogue.pdf\nonly in OLD: price-list.pdf\n"},
        {"unreadable", {path(box, "broken.pdf"), old_b}, 2, "tesmira-compare: "},
        {"bad option", {"--dpi", "150", old_b, old_b}, 2, "option --dpi must be 144, 200 or 300"},
        {"page size mismatch", {path(box, "old/a.pdf"), path(box, "wide.pdf")}, 2, "新旧の仕上がりサイズが異なります"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome run = compare(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.status == 2) {
            EXPECT_EQ(run.out, "");
            EXPECT_NE(run.err.find(c.out), std::string::npos) << run.err;
        } else {
            EXPECT_EQ(run.out, c.out);
            EXPECT_EQ(run.err, "");
        }
        std::vector<std::string> quiet = c.arguments;
        quiet.insert(quiet.begin(), "--quiet");
        const Outcome quieted = compare(quiet);
        EXPECT_EQ(quieted.status, c.status) << quieted.err;
        EXPECT_EQ(quieted.out, "");
        EXPECT_EQ(quieted.err.empty(), c.status != 2) << quieted.err;
    }
    EXPECT_EQ(entries(box.output()), std::set<std::string>{});
}

// --json tells the files set aside before the run in events of their own, then the run's.
TEST_F(CompareCommand, JsonTellsTheFilesSetAside) {
    write_folders();
    write_sample_pdf(box.input("old/c.pdf"), 2, 0);
    write_sample_pdf(box.input("new/c.pdf"), 3, 0);
    write_sample_pdf(box.input("old/gone.pdf"), 1, 0);
    const Outcome run = compare({"--json", path(box, "old"), path(box, "new")});
    ASSERT_EQ(run.status, 1) << run.err;
    ASSERT_GE(run.events.size(), 3u);
    EXPECT_EQ(run.events[0],
              Json::parse(R"({"event": "page_counts", "before": "c.pdf", "after": "c.pdf", "before_pages": 2,
                              "after_pages": 3})"));
    EXPECT_EQ(run.events[1], Json::parse(R"({"event": "only_in", "side": "OLD", "name": "gone.pdf"})"));
    EXPECT_EQ(run.events[2], Json::parse(R"({"event": "start", "total": 3, "files": 2})"));
    EXPECT_EQ(run.names().back(), "complete");
}

// With --output the result folder stays there and the summary names it.
TEST_F(CompareCommand, OutputKeepsTheResultFolder) {
    write_folders();
    const Outcome run = compare({"--output", box.output().string(), path(box, "old/a.pdf"), path(box, "new/a.pdf")});
    ASSERT_EQ(run.status, 1) << run.err;
    const std::set<std::string> kept = entries(box.output());
    ASSERT_EQ(kept.size(), 1u);
    const fs::path folder = box.output() / *kept.begin();
    EXPECT_NE(run.out.find("Result folder: " + folder.string() + "\n"), std::string::npos) << run.out;
    EXPECT_EQ(entries(folder).size(), 1u);  // the result PDF
}

// --json gives the worker's own events for the same run.
TEST_F(CompareCommand, JsonGivesTheWorkersEvents) {
    write_folders();
    const Outcome compared = compare({"--json", path(box, "old"), path(box, "new")});
    const Outcome worker = box.run(
        comparison({box.input("old/a.pdf"), box.input("old/b.pdf")}, {box.input("new/a.pdf"), box.input("new/b.pdf")}));
    ASSERT_EQ(compared.status, 1) << compared.err;
    ASSERT_EQ(worker.status, 0) << worker.err;
    EXPECT_EQ(compared.names(), worker.names());
    ASSERT_EQ(compared.events.size(), worker.events.size());
    for (std::size_t i = 0; i + 1 < worker.events.size(); ++i) EXPECT_EQ(compared.events[i], worker.events[i]);
    const auto regions = [](const Outcome& run) {
        std::vector<long long> counts;
        for (const Json& page : run.last()["pages"]) counts.push_back(page["regions"]);
        return counts;
    };
    EXPECT_EQ(regions(compared), regions(worker));
}

// A changed page lists its changes, one a line: where, how large, and the words where there
// are words; --json carries the same changes in its page reports.
TEST_F(CompareCommand, ChangedPagesNameTheirChanges) {
    namespace fx = tesmira::fixtures;
    fx::Page before;
    before.media = {0, 0, 300, 200};
    fx::Page after = before;
    before.content = fx::text(40, 150, 12, "Price 1,280 yen") + fx::fill_rect({200, 40, 220, 60}, 0, 0, 0);
    after.content = fx::text(40, 150, 12, "Price 1,290 yen") + fx::fill_rect({200, 40, 220, 64}, 0, 0, 0);
    fx::add_cjk_text(before, 40, 100, 12, "今月と週末のセール");
    fx::add_cjk_text(after, 40, 100, 12, "今月とセール");
    fx::write_pdf({.pages = {before, before}}, box.input("old.pdf"));
    fx::write_pdf({.pages = {before, after}}, box.input("new.pdf"));

    const Outcome run = compare({path(box, "old.pdf"), path(box, "new.pdf")});
    ASSERT_EQ(run.status, 1) << run.err;
    // The price in words at its place; the square's grown edge without: 20 x 4 pt from 200 pt
    // across and 136 pt down, 40 x 8 pixels at 144 dpi, each 25.4 / 144 mm.
    const std::regex price(R"(\n  page 2: change at \d+\.\d, \d+\.\d mm \(\d\.\d × \d\.\d mm\): "1,280" → "1,290"\n)");
    EXPECT_TRUE(std::regex_search(run.out, price)) << run.out;
    const std::regex deleted(
        R"(\n  page 2: change at \d+\.\d, \d+\.\d mm \(\d+\.\d × \d\.\d mm\): "週末の" deleted\n)");
    EXPECT_TRUE(std::regex_search(run.out, deleted)) << run.out;
    EXPECT_NE(run.out.find("\n  page 2: change at 70.6, 48.0 mm (7.1 × 1.4 mm)\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("page 1:"), std::string::npos) << run.out;

    const Outcome json = compare({"--json", path(box, "old.pdf"), path(box, "new.pdf")});
    ASSERT_EQ(json.status, 1) << json.err;
    const Json& pages = json.last().at("pages");
    EXPECT_TRUE(pages.at(0).at("changes").empty());
    ASSERT_EQ(pages.at(1).at("changes").size(), 3u);
    EXPECT_EQ(pages.at(1).at("changes").at(0).at("old_text"), "Price 1,280 yen");
    EXPECT_EQ(pages.at(1).at("changes").at(1).at("new_text"), "今月とセール");
    EXPECT_EQ(pages.at(1).at("changes").at(2).at("box_mm"), Json::parse("[70.556, 47.978, 7.056, 1.411]"));
}

// Refusals and failures: status 2, the message on standard error, nothing on standard output.
TEST_F(CompareCommand, RefusalsExitTwoWithTheirMessage) {
    write_folders();
    fs::create_symlink(box.input("nothing"), box.input("dangling"));
    const std::string a = path(box, "old/a.pdf"), b = path(box, "new/a.pdf");
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{a}, "an old and a new PDF (or folder) are required"},
        {{a, b, a}, "only OLD and NEW are taken"},
        {{"--dpi", "x", a, b}, "option --dpi must be 144, 200 or 300"},
        {{"--dpi", "150", a, b}, "option --dpi must be 144, 200 or 300"},
        {{"--tolerance", a, b}, "option --tolerance must be a whole number from 0 to 255"},
        {{"--opacity=101", a, b}, "option --opacity must be a whole number from 0 to 100"},
        {{"--border", "9", a, b}, "option --border must be a whole number from 1 to 6"},
        {{a, b, "--border"}, "option --border needs a value"},
        {{"--colour", a, b}, "unrecognized option: --colour"},
        {{"-x", a, b}, "unrecognized option: -x"},
        {{"--no", a, b}, "ambiguous option: --no could be --no-progress, --noise, --no-stamp"},
        {{"--json=yes", a, b}, "option --json takes no value"},
        {{"--json", "-q", a, b}, "--json and --quiet cannot be given together"},
        {{"--output", a, b}, "an old and a new PDF (or folder) are required"},
        {{path(box, "old"), b}, "OLD and NEW must both be PDF files or both be folders"},
        {{path(box, "missing.pdf"), b}, "missing.pdf"},
        {{"--output", path(box, "nowhere"), a, b}, "--output " + path(box, "nowhere") + ": no such folder"},
        {{"--output", a, a, b}, "--output " + a + ": not a folder"},
        {{"--output", path(box, "dangling"), a, b},
         "--output " + path(box, "dangling") + ": a link to nothing, not a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.back() + " / " + c.message);
        const Outcome run = box.run_program(TESMIRA_COMPARE, c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("tesmira-compare: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(entries(box.output()), std::set<std::string>{});
}

TEST_F(CompareCommand, HelpAndVersionExitZero) {
    for (const char* option : {"--help", "-h", "--version"}) {
        const Outcome run = box.run_program(TESMIRA_COMPARE, {option});
        SCOPED_TRACE(option);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("tesmira-compare"), std::string::npos);
    }
    EXPECT_NE(box.run_program(TESMIRA_COMPARE, {"--help"}).out.find("Exit status: 0 when no page differs"),
              std::string::npos);
}

// Ctrl+C or SIGTERM during a run: status 130, and neither the unkept results nor a partial
// result folder stay.
TEST_F(CompareCommand, InterruptedRunLeavesNothing) {
    write_sample_then_endless_pdf(box.input("old.pdf"), 1, 2, 0);
    write_sample_then_endless_pdf(box.input("new.pdf"), 1, 2, 1);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        for (const bool kept : {false, true}) {
            std::vector<std::string> arguments = {"--json", "--dpi", "144", path(box, "old.pdf"), path(box, "new.pdf")};
            if (kept) arguments.insert(arguments.begin(), {"--output", box.output().string()});
            WorkerProcess process(arguments, box.temporary(), std::chrono::seconds(300), {}, {}, TESMIRA_COMPARE);
            ASSERT_TRUE(process.wait_for([](const Json& event) { return event.value("event", "") == "progress"; }));
            process.send(signal);
            const Outcome run = process.finish();
            EXPECT_EQ(run.status, 130) << run.err;
            EXPECT_EQ(entries(box.output()), std::set<std::string>{});
            EXPECT_EQ(entries(box.temporary()), std::set<std::string>{});
        }
    }
}

// A long option may be shortened to any prefix that names only it, as GNU programs take them.
TEST_F(CompareCommand, LongOptionsMayBeShortened) {
    write_folders();
    const Outcome run = box.run_program(
        TESMIRA_COMPARE,
        {"--d=144", "--out", box.output().string(), "--js", path(box, "old/b.pdf"), path(box, "new/b.pdf")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.names().back(), "complete");
    EXPECT_EQ(entries(box.output()).size(), 1u);
}

// A write that fails on standard output, the summary's or the events' (a full disk, a reader
// gone as after `| head -1`), is told on standard error and exits 2, as diff and cmp do.
TEST_F(CompareCommand, WriteErrorsExitTwo) {
    write_folders();
    const Descriptor full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    ASSERT_TRUE(full.open());
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const Descriptor unread(ends[1]);
    ::close(ends[0]);  // nobody reads: every write fails with EPIPE
    const struct {
        const char* what;
        int descriptor;
        std::string message;
    } outputs[] = {{"full disk", full.get(), "No space left on device"}, {"reader gone", unread.get(), "Broken pipe"}};
    for (const auto& output : outputs)
        for (const bool json : {false, true}) {
            SCOPED_TRACE(std::string(output.what) + (json ? ", --json" : ""));
            std::vector<std::string> arguments = {"--dpi", "144", path(box, "old/a.pdf"), path(box, "new/a.pdf")};
            if (json) arguments.insert(arguments.begin(), "--json");
            WorkerProcess process(arguments,
                                  box.temporary(),
                                  std::chrono::seconds(300),
                                  {},
                                  {},
                                  TESMIRA_COMPARE,
                                  {output.descriptor, -1});
            const Outcome run = process.finish();
            EXPECT_EQ(run.status, 2);
            EXPECT_EQ(run.err, "tesmira-compare: standard output: " + output.message + "\n");
        }
    WorkerProcess help(
        {"--help"}, box.temporary(), std::chrono::seconds(60), {}, {}, TESMIRA_COMPARE, {full.get(), -1});
    EXPECT_EQ(help.finish().status, 2);
    WorkerProcess progress({"--progress", "--dpi", "144", path(box, "old/a.pdf"), path(box, "new/a.pdf")},
                           box.temporary(),
                           std::chrono::seconds(300),
                           {},
                           {},
                           TESMIRA_COMPARE,
                           {-1, full.get()});
    EXPECT_EQ(progress.finish().status, 2);
    EXPECT_EQ(entries(box.output()), std::set<std::string>{});
}

namespace {

// A pseudo-terminal whose other end a child gets as its standard error; what the child
// writes there is read as it comes, so that the child never waits on a full terminal.
class Terminal {
public:
    Terminal() : main_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        if (!main_.open() || ::grantpt(main_.get()) != 0 || ::unlockpt(main_.get()) != 0)
            throw std::system_error(errno, std::generic_category(), "pseudo-terminal");
        side_ = Descriptor(::open(::ptsname(main_.get()), O_RDWR | O_NOCTTY | O_CLOEXEC));
        termios settings{};
        ::tcgetattr(side_.get(), &settings);
        ::cfmakeraw(&settings);  // bytes as the child wrote them, no line feed made a CR LF
        ::tcsetattr(side_.get(), TCSANOW, &settings);
        reader_ = std::thread([this] {
            char buffer[4096];
            for (ssize_t n; (n = ::read(main_.get(), buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR);)
                if (n > 0) text_.append(buffer, std::size_t(n));
        });
    }
    ~Terminal() {
        side_.reset();
        if (reader_.joinable()) reader_.join();
    }
    int side() const { return side_.get(); }
    // What the child wrote, once it has ended: the terminal's end closes, the reading ends.
    std::string written() {
        side_.reset();
        reader_.join();
        return text_;
    }

private:
    Descriptor main_, side_;
    std::string text_;
    std::thread reader_;
};

}  // namespace

// On a terminal the progress is one line on standard error, drawn in place and cleared at the
// end; elsewhere, with --no-progress or --quiet, nothing of it is written. --progress forces it.
TEST_F(CompareCommand, ProgressOnATerminalOnly) {
    write_folders();
    const std::vector<std::string> pair = {"--dpi", "144", path(box, "old"), path(box, "new")};
    const struct {
        const char* what;
        std::vector<std::string> options;
        bool terminal, drawn;
    } cases[] = {
        {"terminal", {}, true, true},
        {"terminal, --no-progress", {"--no-progress"}, true, false},
        {"terminal, --quiet", {"-q"}, true, false},
        {"terminal, --quiet --progress", {"-q", "--progress"}, true, true},
        {"pipe", {}, false, false},
        {"pipe, --progress", {"--progress"}, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> arguments = c.options;
        arguments.insert(arguments.end(), pair.begin(), pair.end());
        std::optional<Terminal> terminal;
        if (c.terminal) terminal.emplace();
        WorkerProcess process(arguments,
                              box.temporary(),
                              std::chrono::seconds(300),
                              {},
                              {},
                              TESMIRA_COMPARE,
                              {-1, terminal ? terminal->side() : -1});
        const Outcome run = process.finish();
        EXPECT_EQ(run.status, 1);
        const std::string err = terminal ? terminal->written() : run.err;
        if (!c.drawn) {
            EXPECT_EQ(err, "");
            continue;
        }
        for (const char* page : {"\ra.pdf: page 1 of 2 (file 1 of 2), 0:", "\rb.pdf: page 1 of 1 (file 2 of 2), 0:"})
            EXPECT_NE(err.find(page), std::string::npos) << err;
        // Cleared: the last line drawn is covered by spaces, and the cursor back at its start.
        const std::size_t last = err.rfind("\rb.pdf: page 1 of 1");
        ASSERT_NE(last, std::string::npos);
        const std::size_t width = err.find_first_of("\r", last + 1) - last - 1;
        EXPECT_EQ(err.substr(err.size() - width - 2), "\r" + std::string(width, ' ') + "\r") << err;
        EXPECT_EQ(run.out.empty(), !c.options.empty() && c.options.front() == "-q") << run.out;
    }
}
