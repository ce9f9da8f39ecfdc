// tesmira-compare's manual page lists every key of the JSON lines a script may read: each key
// it names is in the events of real runs, and each key of those events is named there.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "common/files.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
using tesmira::Json;
using namespace tesmira::worker_tests;

namespace {

const fs::path MANUAL = fs::path(TESMIRA_SOURCE_DIR) / "docs/man/tesmira-compare.1";

// The keys that the section "JSON OUTPUT" names, as jq paths (".pages[].regions"): the tag
// of each entry of its lists.
std::set<std::string> documented_keys() {
    std::ifstream manual(MANUAL);
    std::set<std::string> keys;
    bool inside = false;
    std::string previous;
    const std::regex key(R"(^\.B (\.[a-z_\[\].]+)$)");
    for (std::string line; std::getline(manual, line); previous = line) {
        if (line.starts_with(".SH ")) inside = line == ".SH JSON OUTPUT";
        std::smatch match;
        if (inside && (previous == ".TP" || previous == ".TQ") && std::regex_match(line, match, key))
            keys.insert(match[1]);
    }
    return keys;
}

// Every key path of a JSON value, lists as "[]".
void collect_keys(const Json& value, const std::string& path, std::set<std::string>& keys) {
    if (value.is_object()) {
        for (const auto& [name, member] : value.items()) {
            keys.insert(path + "." + name);
            collect_keys(member, path + "." + name, keys);
        }
    } else if (value.is_array()) {
        for (const Json& item : value) collect_keys(item, path + "[]", keys);
    }
}

class CompareManual : public WorkerTest {};

}  // namespace

TEST_F(CompareManual, NamesEveryKeyOfTheEvents) {
    const std::set<std::string> documented = documented_keys();
    ASSERT_GT(documented.size(), 40u) << "no key list read from " << MANUAL;

    // A run of several pairs with every page record filled (the sample's stray dot gets a
    // tiny-change marker), beside a pair of different page counts and a file on one side only.
    for (const char* side : {"old", "new"}) {
        fs::create_directories(box.input(side));
        fs::copy_file(fs::path(TESMIRA_SOURCE_DIR) / "samples" / side / "catalogue.pdf",
                      box.input(std::string(side) + "/catalogue.pdf"));
        write_sample_pdf(box.input(std::string(side) + "/b.pdf"), 1, 0);
    }
    write_sample_pdf(box.input("old/c.pdf"), 1, 0);
    write_sample_pdf(box.input("new/c.pdf"), 2, 0);
    write_sample_pdf(box.input("old/gone.pdf"), 1, 0);
    std::vector<Outcome> runs;
    runs.push_back(box.run_program(
        TESMIRA_COMPARE,
        {"--json", "--dpi", "144", "--noise", "--tiny-markers", box.input("old").string(), box.input("new").string()}));
    runs.push_back(box.run_program(TESMIRA_COMPARE, {"--json", box.input("old/b.pdf").string(), "missing.pdf"}));
    // The worker's archive events, as the window receives them.
    const std::string project = "00112233445566778899aabbccddeeff";
    const fs::path root = box.input("archive");
    fs::create_directories(root / project);
    tesmira::write_text_file(root / project / "project.json",
                             R"({"version": 1, "id": ")" + project + R"(", "name": "案件"})");
    runs.push_back(box.run(archive_run("register", {box.input("old/b.pdf")}, root, project)));
    runs.push_back(box.run(archive_run("compare", {box.input("new/b.pdf")}, root, project)));

    std::set<std::string> sent;
    for (const Outcome& run : runs)
        for (const Json& event : run.events) collect_keys(event, "", sent);
    for (const char* event : {"page_counts", "only_in", "start", "progress", "complete", "error", "archive_saved"}) {
        bool seen = false;
        for (const Outcome& run : runs)
            for (const std::string& name : run.names()) seen = seen || name == event;
        EXPECT_TRUE(seen) << event;
    }
    for (const std::string& key : documented)
        EXPECT_EQ(sent.count(key), 1u) << "named in the manual, never sent: " << key;
    for (const std::string& key : sent) EXPECT_EQ(documented.count(key), 1u) << "sent, not in the manual: " << key;
}
