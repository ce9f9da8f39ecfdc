#pragma once
// Runs the worker program as a child process the way the desktop application does: its own
// small environment, standard output and standard error captured, SIGTERM on demand.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/json.hpp"
#include "fixtures/temp_folder.hpp"

namespace tesmira::worker_tests {

// What a finished run left behind on its two output channels and in its exit status.
struct Outcome {
    int status = -1;  // exit status; -1 when the process did not exit by itself
    int signal = 0;   // the signal that ended the process, 0 when it exited
    bool timed_out = false;
    std::string out, err;
    std::vector<std::string> lines;  // standard output cut at line feeds, without them
    std::vector<Json> events;        // each line decoded; a line that is no JSON is a discarded value

    std::vector<std::string> names() const;  // the "event" of each line, "?" where it has none
    const Json& last() const;                // the last event, an empty record when there is none
};

// A file descriptor closed when it goes.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept;
    ~Descriptor() { reset(); }
    int get() const { return fd_; }
    bool open() const { return fd_ >= 0; }
    void reset();

private:
    int fd_ = -1;
};

// Descriptors a child gets as its standard output or standard error in place of the captured
// pipes (a full device, a pipe nobody reads, a terminal); -1 keeps the pipe.
struct ChildStreams {
    int out = -1, err = -1;
};

// One running worker. The destructor kills and reaps a child that is still running, so a
// failing test leaves neither a zombie nor an orphan behind.
class WorkerProcess {
public:
    // `extra_environment` adds "NAME=value" entries to the child's small environment; the
    // child starts in `working_folder`, or in the test's own when it is empty. `program` is
    // another of the package's programs to run the same way, or empty for the worker.
    WorkerProcess(const std::vector<std::string>& arguments, const std::filesystem::path& temporary_folder,
                  std::chrono::seconds limit = std::chrono::seconds(300),
                  const std::vector<std::string>& extra_environment = {},
                  const std::filesystem::path& working_folder = {}, const std::string& program = {},
                  const ChildStreams& streams = {});
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    // Reads standard output until an event line for which `wanted` holds; nothing when the
    // output ends (or the time limit passes) first.
    std::optional<Json> wait_for(const std::function<bool(const Json&)>& wanted);

    void terminate() const;  // sends SIGTERM
    void send(int signal) const;

    // Reads both outputs to their end and reaps the child.
    Outcome finish();

private:
    bool pump();  // one round of reading; false once both outputs are closed
    void kill_and_reap();

    pid_t pid_ = -1;
    Descriptor out_, err_;
    std::string out_text_, err_text_;
    std::size_t scanned_ = 0;  // the part of out_text_ that wait_for has looked at
    std::chrono::steady_clock::time_point deadline_;
    bool timed_out_ = false;
    int wait_status_ = 0;
};

// The names in a folder, hidden ones included.
std::set<std::string> entries(const std::filesystem::path& folder);

// A private folder per test: the inputs, the output root and the worker's TMPDIR, each empty
// at the start and all removed at the end.
class Sandbox {
public:
    Sandbox();
    const std::filesystem::path& inputs() const { return inputs_; }
    const std::filesystem::path& output() const { return output_; }
    const std::filesystem::path& temporary() const { return temporary_; }
    std::filesystem::path input(const std::string& relative) const { return inputs_ / relative; }

    Outcome run(const std::vector<std::string>& arguments, const std::filesystem::path& working_folder = {}) const;
    // The same for another program of the package (tesmira-compare, the page job).
    Outcome run_program(const std::string& program, const std::vector<std::string>& arguments) const;

private:
    fixtures::TempFolder root_;
    std::filesystem::path inputs_, output_, temporary_;
};

// A PDF of `pages` pages of width × height points, each with a small black square whose place
// follows `variant`, so that two variants differ on every page.
void write_sample_pdf(const std::filesystem::path& path, int pages, int variant = 0, double width = 100,
                      double height = 100);

// The same sample's first `plain` pages, then `endless` pages that draw without end (refused
// only after seconds of drawing): a run over them is still going when a test signals it,
// however many pages it compares at once.
void write_sample_then_endless_pdf(const std::filesystem::path& path, int plain, int endless, int variant = 0,
                                   double width = 100, double height = 100);

// The resolution that keeps a run fast where the test does not need 300 dpi.
inline const std::string FAST_SETTINGS = R"({"dpi": 144})";

// A sandbox per test. Whatever the test does, the worker must leave no staged or partial
// item in the output root and nothing in its temporary folder.
class WorkerTest : public ::testing::Test {
protected:
    void TearDown() override;

    // "--before ... --after ... --output-root OUT --settings-json SETTINGS".
    std::vector<std::string> comparison(const std::vector<std::filesystem::path>& before,
                                        const std::vector<std::filesystem::path>& after,
                                        const std::string& settings = FAST_SETTINGS) const;

    // "--after ... --output-root OUT --settings-json FAST --archive-mode MODE --archive-root ROOT
    // --project-id PROJECT", an archive-mode run on the sandbox's output root.
    std::vector<std::string> archive_run(const std::string& mode, const std::vector<std::filesystem::path>& after,
                                         const std::filesystem::path& root, const std::string& project) const;

    Sandbox box;
};

}  // namespace tesmira::worker_tests
