// Kills the worker with SIGKILL at chosen moments of an archive comparison and checks that the
// project's history is then entirely as before the run, with every stored version intact, and
// that the next run on the project succeeds; or, killed after its commit, that the run's result
// with its changes stays shown.
#include <csignal>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "common/files.hpp"
#include "vault/document_name.hpp"
#include "vault/version_store.hpp"
#include "worker_process.hpp"

namespace fs = std::filesystem;
using tesmira::Json;

namespace tesmira::worker_tests {
namespace {

const std::string PROJECT = "00112233445566778899aabbccddeeff";
const std::vector<std::string> DOCUMENTS = {"a.pdf", "b.pdf", "c.pdf"};

struct History {
    std::size_t revisions = 0;
    std::map<std::string, std::string> latest;  // document name → fingerprint
    std::size_t version_files = 0;
    std::size_t orphans = 0;  // version files that no row names
    bool intact = true;       // every row's file exists and matches its fingerprint
};

class ArchiveCrash : public WorkerTest {
protected:
    fs::path root = box.inputs() / "archive";
    fs::path project = root / PROJECT;

    void SetUp() override {
        fs::create_directories(project);
        write_text_file(project / "project.json",
                        R"({"version": 1, "id": ")" + PROJECT + R"(", "name": "クラッシュ試験"})");
        fs::create_directories(box.input("old"));
        fs::create_directories(box.input("new"));
        for (const std::string& name : DOCUMENTS) {
            write_sample_pdf(box.input("old/" + name), 3, 0);
            write_sample_pdf(box.input("new/" + name), 3, 1);
        }
        const Outcome registered = box.run(archive_arguments("register", "old"));
        ASSERT_EQ(registered.status, 0) << registered.out << registered.err;
    }

    std::vector<std::string> archive_arguments(const std::string& mode, const std::string& side) const {
        std::vector<fs::path> after;
        for (const std::string& name : DOCUMENTS) after.push_back(box.input(side + "/" + name));
        return archive_run(mode, after, root, PROJECT);
    }

    std::vector<std::string> preload(const std::string& kill_at, const fs::path& log) const {
        std::string sanitizer = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
        return {"LD_PRELOAD=" TESMIRA_KILL_AT_SYNC_LIBRARY,
                "TESMIRA_KILL_AT_SYNC=" + kill_at,
                "TESMIRA_SYNC_LOG=" + log.string(),
                "ASAN_OPTIONS=" + sanitizer + ":verify_asan_link_order=0"};
    }

    // The history as the archive's own code sees it.
    History history() {
        History h;
        tesmira::vault::Vault store(root, PROJECT);
        std::set<std::string> ids;
        h.revisions = std::stoul(store.db().query("SELECT count(*) FROM revisions", {})->front());
        for (std::size_t i = 0; i < h.revisions; ++i) {
            const auto row = store.db().query("SELECT id, sha256 FROM revisions ORDER BY id LIMIT 1 OFFSET ?",
                                              {static_cast<long long>(i)});
            ids.insert((*row)[0]);
            const fs::path file = store.versions() / ((*row)[0] + ".pdf");
            h.intact = h.intact && fs::is_regular_file(file) && tesmira::vault::digest(file) == (*row)[1];
        }
        for (const std::string& name : DOCUMENTS) h.latest[name] = store.latest(name)->second;
        for (const auto& entry : fs::directory_iterator(store.versions())) {
            ++h.version_files;
            if (!ids.count(entry.path().stem().string())) ++h.orphans;
        }
        return h;
    }

    std::map<std::string, std::string> fingerprints(const std::string& side) const {
        std::map<std::string, std::string> result;
        for (const std::string& name : DOCUMENTS) result[name] = tesmira::vault::digest(box.input(side + "/" + name));
        return result;
    }

    // The result folders visible in the output root.
    std::set<std::string> visible_results() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(box.output()))
            if (entry.path().filename().string().starts_with("てすみら検版_")) names.insert(entry.path().filename());
        return names;
    }

    // After a kill: untouched history (a result the killed run had already shown may stay until
    // the next run on the project), then a run that sweeps what the killed one left, finds the
    // changes again and stores the new versions.
    void expect_before_then_recovers(const History& killed, const std::string& moment) {
        EXPECT_EQ(killed.revisions, 3u) << moment;
        EXPECT_EQ(killed.latest, fingerprints("old")) << moment;
        EXPECT_TRUE(killed.intact) << moment;
        EXPECT_LE(visible_results().size(), 1u) << moment;
        std::printf("[ crash   ] %s: %zu orphaned version file(s) left\n", moment.c_str(), killed.orphans);

        const Outcome again = box.run(archive_arguments("compare", "new"));
        ASSERT_EQ(again.status, 0) << moment << ": " << again.out << again.err;
        EXPECT_EQ(again.last()["archive_updated"], true);
        EXPECT_GT(changed_pages(again), 0) << moment << ": the next comparison finds the changes again";
        const History after = history();
        EXPECT_EQ(after.revisions, 6u) << moment;
        EXPECT_EQ(after.latest, fingerprints("new")) << moment;
        EXPECT_TRUE(after.intact) << moment;
        EXPECT_EQ(after.orphans, 0u) << moment << ": the killed run's version files are swept";
        EXPECT_EQ(entries(box.output()).size(), 1u)
            << moment << ": the new result folder alone; a result without its versions is swept";
        EXPECT_TRUE(entries(box.temporary()).empty()) << moment;
        EXPECT_EQ(entries(project).size(), 3u) << moment << ": project.json, versions, history.sqlite3";
    }

    static int changed_pages(const Outcome& run) {
        int changed = 0;
        for (const Json& page : run.last().value("pages", Json::array())) changed += page.value("regions", 0) > 0;
        return changed;
    }

    // Runs a compare run on a fresh copy of the registered project, with the shim's variables.
    Outcome killed_compare(const fs::path& saved, const std::vector<std::string>& environment) {
        fs::remove_all(root);
        fs::copy(saved, root, fs::copy_options::recursive);
        for (const auto& entry : fs::directory_iterator(box.output())) fs::remove_all(entry.path());
        for (const auto& entry : fs::directory_iterator(box.temporary())) fs::remove_all(entry.path());
        WorkerProcess worker(
            archive_arguments("compare", "new"), box.temporary(), std::chrono::seconds(120), environment);
        return worker.finish();
    }
};

// The calls a shim logged in one run, in order: "<n> <call> <file>..." as number and files.
std::vector<std::pair<int, std::string>> read_call_log(const fs::path& log) {
    std::vector<std::pair<int, std::string>> syncs;
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        int number = 0;
        std::string call, file;
        fields >> number >> call;
        std::getline(fields >> std::ws, file);
        syncs.emplace_back(number, file);
    }
    return syncs;
}

}  // namespace

TEST_F(ArchiveCrash, KilledDuringTheComparison) {
    // The last document's later pages draw without end: the run is still comparing when killed,
    // however many pages it compares at once.
    write_sample_then_endless_pdf(box.input("new/c.pdf"), 1, 2, 1);
    WorkerProcess worker(archive_arguments("compare", "new"), box.temporary());
    ASSERT_TRUE(
        worker.wait_for([](const Json& e) { return e.value("event", "") == "progress" && e.value("page", 0) == 2; }));
    worker.send(SIGKILL);
    const Outcome outcome = worker.finish();
    EXPECT_EQ(outcome.signal, SIGKILL);
    write_sample_pdf(box.input("new/c.pdf"), 3, 1);  // the run that recovers compares it whole
    expect_before_then_recovers(history(), "during the comparison");
}

TEST_F(ArchiveCrash, KilledAtEverySyncOfStoringAndCommitting) {
    // A first, complete run on a copy of the project shows which syncs a compare run makes.
    const fs::path saved = box.inputs() / "archive-before";
    fs::copy(root, saved, fs::copy_options::recursive);
    const fs::path log = box.inputs() / "syncs.log";
    {
        WorkerProcess probe(
            archive_arguments("compare", "new"), box.temporary(), std::chrono::seconds(120), preload("0", log));
        ASSERT_EQ(probe.finish().status, 0);
    }
    const auto syncs = read_call_log(log);
    std::vector<std::pair<int, std::string>> moments;
    int version = 0;
    for (const auto& [number, file] : syncs) {
        if (file.find("/.tesmira-") != std::string::npos && moments.empty())
            moments.emplace_back(number, "while the result PDFs are staged");
        else if (file.find("/versions/") != std::string::npos)
            moments.emplace_back(number,
                                 ++version == 1 ? "while the first version is stored"
                                                : "between storing version " + std::to_string(version - 1) + " and " +
                                                      std::to_string(version));
        else if (file.find("history.sqlite3") != std::string::npos)
            moments.emplace_back(number, "at the commit, before syncing " + fs::path(file).filename().string());
    }
    ASSERT_EQ(version, 3) << "one sync per stored version";
    ASSERT_GE(moments.size(), 5u);

    for (const auto& [number, moment] : moments) {
        const Outcome outcome = killed_compare(saved, preload(std::to_string(number), box.inputs() / "kill.log"));
        ASSERT_EQ(outcome.signal, SIGKILL) << moment;
        expect_before_then_recovers(history(), moment);
    }
}

// Around the moment the result becomes visible and the versions are committed: killed before
// the result's rename, the run leaves neither; killed between the rename and the commit, its
// result is shown until the next run on the project removes it, and that run finds the changes
// again; killed after the commit, its result with the changes stays shown.
TEST_F(ArchiveCrash, KilledAroundPublishingAndCommitting) {
    const fs::path saved = box.inputs() / "archive-before";
    fs::copy(root, saved, fs::copy_options::recursive);
    const fs::path log = box.inputs() / "steps.log";
    {
        std::vector<std::string> environment = preload("0", box.inputs() / "syncs.log");
        environment.push_back("TESMIRA_STEP_LOG=" + log.string());
        WorkerProcess probe(
            archive_arguments("compare", "new"), box.temporary(), std::chrono::seconds(120), environment);
        ASSERT_EQ(probe.finish().status, 0);
    }
    int publishing = 0;  // the rename that moves the result into the output root
    for (const auto& [number, line] : read_call_log(log))
        if (line.find("/.tesmira-archive-") != std::string::npos &&
            line.find(" " + box.output().string() + "/てすみら検版_") != std::string::npos)
            publishing = number;
    ASSERT_GT(publishing, 0) << "the result is published by a rename";

    const struct {
        std::string moment, variable;
        std::size_t shown;  // result folders visible after the kill
        bool committed;
    } cases[] = {
        {"at the result's rename", "TESMIRA_KILL_AT_RENAME=" + std::to_string(publishing), 0, false},
        {"between the rename and the commit", "TESMIRA_KILL_AFTER_RENAME=" + std::to_string(publishing), 1, false},
        {"after the commit", "TESMIRA_KILL_AFTER_UNLINK=history.sqlite3-journal", 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.moment);
        std::vector<std::string> environment = preload("0", box.inputs() / "kill.log");
        environment.push_back(c.variable);
        ASSERT_EQ(killed_compare(saved, environment).signal, SIGKILL);
        const std::set<std::string> shown = visible_results();
        EXPECT_EQ(shown.size(), c.shown);
        if (!c.committed) {
            expect_before_then_recovers(history(), c.moment);
            for (const std::string& name : shown) EXPECT_FALSE(fs::exists(box.output() / name)) << "swept";
            continue;
        }
        const History killed = history();
        EXPECT_EQ(killed.latest, fingerprints("new"));
        EXPECT_TRUE(killed.intact);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(entries(box.output() / *shown.begin()).size(), DOCUMENTS.size()) << "the result PDFs";
        // The next run on the project keeps that result: it compares the saved new versions.
        const Outcome again = box.run(archive_arguments("compare", "new"));
        ASSERT_EQ(again.status, 0) << again.out << again.err;
        EXPECT_EQ(changed_pages(again), 0);
        EXPECT_TRUE(fs::exists(box.output() / *shown.begin()));
        EXPECT_EQ(history().orphans, 0u);
    }
}

}  // namespace tesmira::worker_tests
