#include "worker_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "fixtures/hostile_pdfs.hpp"
#include "fixtures/pdf_builder.hpp"

#ifndef TESMIRA_WORKER
#error "TESMIRA_WORKER must name the worker program"
#endif

namespace tesmira::worker_tests {
namespace {

[[noreturn]] void fail(int error, const char* what) { throw std::system_error(error, std::generic_category(), what); }

struct FileActions {
    posix_spawn_file_actions_t actions;
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
};

struct SpawnAttributes {
    posix_spawnattr_t attributes;
    SpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

std::pair<Descriptor, Descriptor> make_pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) fail(errno, "pipe2");
    return {Descriptor(ends[0]), Descriptor(ends[1])};
}

// The application starts the worker with little of its own environment; the sanitizer
// options still pass, so that a sanitized build reports the way the test run asks.
std::vector<std::string> environment(const std::filesystem::path& temporary_folder) {
    const char* home = std::getenv("HOME");
    std::vector<std::string> variables = {"PATH=/usr/bin:/bin",
                                          std::string("HOME=") + (home ? home : "/"),
                                          "LANG=ja_JP.UTF-8",
                                          "TMPDIR=" + temporary_folder.string()};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char* value = std::getenv(name)) variables.push_back(std::string(name) + "=" + value);
    return variables;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

std::vector<std::string> Outcome::names() const {
    std::vector<std::string> result;
    for (const Json& event : events) {
        const bool named = event.is_object() && event.contains("event") && event["event"].is_string();
        result.push_back(named ? event["event"].get<std::string>() : "?");
    }
    return result;
}

const Json& Outcome::last() const {
    static const Json none = Json::object();
    return events.empty() ? none : events.back();
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void Descriptor::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

WorkerProcess::WorkerProcess(const std::vector<std::string>& arguments, const std::filesystem::path& temporary_folder,
                             std::chrono::seconds limit, const std::vector<std::string>& extra_environment,
                             const std::filesystem::path& working_folder, const std::string& program,
                             const ChildStreams& streams)
    : deadline_(std::chrono::steady_clock::now() + limit) {
    auto [out_read, out_write] = make_pipe();
    auto [err_read, err_write] = make_pipe();

    const std::string executable = program.empty() ? TESMIRA_WORKER : program;
    std::vector<std::string> argument_texts = {executable};
    argument_texts.insert(argument_texts.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment_texts = environment(temporary_folder);
    for (const std::string& entry : extra_environment) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        std::erase_if(environment_texts, [&](const std::string& text) { return text.rfind(name, 0) == 0; });
        environment_texts.push_back(entry);
    }
    std::vector<char*> argv = pointers(argument_texts), envp = pointers(environment_texts);

    FileActions files;
    posix_spawn_file_actions_addopen(&files.actions, 0, "/dev/null", O_RDONLY, 0);
    // A pipe given away is closed here when the spawn is done, so its reading end ends at once.
    posix_spawn_file_actions_adddup2(&files.actions, streams.out >= 0 ? streams.out : out_write.get(), 1);
    posix_spawn_file_actions_adddup2(&files.actions, streams.err >= 0 ? streams.err : err_write.get(), 2);
    if (!working_folder.empty()) posix_spawn_file_actions_addchdir_np(&files.actions, working_folder.c_str());

    // The child starts with default signal handling whatever the test runner has set.
    SpawnAttributes spawn;
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGTERM, SIGINT, SIGPIPE}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&spawn.attributes, &none);
    posix_spawnattr_setsigdefault(&spawn.attributes, &defaults);
    posix_spawnattr_setflags(&spawn.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const int error =
        ::posix_spawn(&pid_, executable.c_str(), &files.actions, &spawn.attributes, argv.data(), envp.data());
    if (error != 0) {
        pid_ = -1;
        fail(error, ("posix_spawn " + executable).c_str());
    }
    out_ = std::move(out_read);
    err_ = std::move(err_read);
}

WorkerProcess::~WorkerProcess() { kill_and_reap(); }

void WorkerProcess::kill_and_reap() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, &wait_status_, 0) < 0 && errno == EINTR) {}
    pid_ = -1;
}

void WorkerProcess::terminate() const { send(SIGTERM); }

void WorkerProcess::send(int signal) const {
    if (pid_ > 0) ::kill(pid_, signal);
}

bool WorkerProcess::pump() {
    std::array<pollfd, 2> polled{};
    std::array<std::pair<Descriptor*, std::string*>, 2> sources{};
    nfds_t count = 0;
    for (auto [descriptor, text] : {std::pair{&out_, &out_text_}, std::pair{&err_, &err_text_}})
        if (descriptor->open()) {
            polled[count] = pollfd{descriptor->get(), POLLIN, 0};
            sources[count++] = {descriptor, text};
        }
    if (count == 0) return false;

    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        timed_out_ = true;
        kill_and_reap();
        out_.reset();
        err_.reset();
        return false;
    }
    const int ready = ::poll(polled.data(), count, int(std::min<long long>(left.count(), 1000)));
    if (ready < 0) {
        if (errno == EINTR) return true;
        fail(errno, "poll");
    }
    for (nfds_t i = 0; i < count; ++i) {
        if (polled[i].revents == 0) continue;
        char buffer[65536];
        const ssize_t n = ::read(polled[i].fd, buffer, sizeof buffer);
        if (n > 0)
            sources[i].second->append(buffer, std::size_t(n));
        else if (n == 0 || errno != EINTR)
            sources[i].first->reset();
    }
    return out_.open() || err_.open();
}

std::optional<Json> WorkerProcess::wait_for(const std::function<bool(const Json&)>& wanted) {
    for (;;) {
        for (std::size_t end; (end = out_text_.find('\n', scanned_)) != std::string::npos;) {
            const Json event = Json::parse(out_text_.substr(scanned_, end - scanned_), nullptr, false);
            scanned_ = end + 1;
            if (!event.is_discarded() && wanted(event)) return event;
        }
        if (!out_.open() && !err_.open()) return std::nullopt;
        pump();
    }
}

Outcome WorkerProcess::finish() {
    while (pump()) {}
    while (pid_ > 0) {
        const pid_t reaped = ::waitpid(pid_, &wait_status_, WNOHANG);
        if (reaped == pid_) {
            pid_ = -1;
        } else if (reaped < 0 && errno != EINTR) {
            fail(errno, "waitpid");
        } else if (std::chrono::steady_clock::now() > deadline_) {
            timed_out_ = true;
            kill_and_reap();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    Outcome outcome;
    outcome.timed_out = timed_out_;
    if (WIFEXITED(wait_status_)) outcome.status = WEXITSTATUS(wait_status_);
    if (WIFSIGNALED(wait_status_)) outcome.signal = WTERMSIG(wait_status_);
    outcome.out = out_text_;
    outcome.err = err_text_;
    for (std::size_t start = 0; start < out_text_.size();) {
        std::size_t end = out_text_.find('\n', start);
        if (end == std::string::npos) end = out_text_.size();
        outcome.lines.push_back(out_text_.substr(start, end - start));
        start = end + 1;
    }
    for (const std::string& line : outcome.lines) outcome.events.push_back(Json::parse(line, nullptr, false));
    return outcome;
}

std::set<std::string> entries(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

Sandbox::Sandbox()
    : inputs_(root_.path() / "in"), output_(root_.path() / "Downloads"), temporary_(root_.path() / "tmp") {
    for (const auto& folder : {inputs_, output_, temporary_}) std::filesystem::create_directory(folder);
}

Outcome Sandbox::run(const std::vector<std::string>& arguments, const std::filesystem::path& working_folder) const {
    WorkerProcess worker(arguments, temporary_, std::chrono::seconds(300), {}, working_folder);
    return worker.finish();
}

Outcome Sandbox::run_program(const std::string& program, const std::vector<std::string>& arguments) const {
    WorkerProcess process(arguments, temporary_, std::chrono::seconds(300), {}, {}, program);
    return process.finish();
}

void write_sample_pdf(const std::filesystem::path& path, int pages, int variant, double width, double height) {
    fixtures::Page page;
    page.media = {0, 0, width, height};
    const double x = width / 4 + 5 * variant;
    page.content = fixtures::fill_rect({x, height / 4, x + 10, height / 4 + 10}, 0, 0, 0);
    fixtures::write_pdf(fixtures::many_pages(pages, page), path);
}

void write_sample_then_endless_pdf(const std::filesystem::path& path, int plain, int endless, int variant, double width,
                                   double height) {
    fixtures::write_pdf(fixtures::squares_then_endless(plain, endless, variant, width, height), path);
}

void WorkerTest::TearDown() {
    EXPECT_EQ(entries(box.temporary()), std::set<std::string>{}) << "left in the temporary folder";
    if (std::filesystem::is_directory(box.output()))
        for (const std::string& name : entries(box.output())) {
            EXPECT_NE(name.rfind(".tesmira-", 0), 0u) << "left in the output root: " << name;
        }
}

std::vector<std::string> WorkerTest::archive_run(const std::string& mode,
                                                 const std::vector<std::filesystem::path>& after,
                                                 const std::filesystem::path& root, const std::string& project) const {
    std::vector<std::string> arguments = {"--after"};
    for (const auto& path : after) arguments.push_back(path.string());
    arguments.insert(arguments.end(),
                     {"--output-root",
                      box.output().string(),
                      "--settings-json",
                      FAST_SETTINGS,
                      "--archive-mode",
                      mode,
                      "--archive-root",
                      root.string(),
                      "--project-id",
                      project});
    return arguments;
}

std::vector<std::string> WorkerTest::comparison(const std::vector<std::filesystem::path>& before,
                                                const std::vector<std::filesystem::path>& after,
                                                const std::string& settings) const {
    std::vector<std::string> arguments = {"--before"};
    for (const auto& path : before) arguments.push_back(path.string());
    arguments.push_back("--after");
    for (const auto& path : after) arguments.push_back(path.string());
    for (const std::string& item :
         {std::string("--output-root"), box.output().string(), std::string("--settings-json"), settings})
        arguments.push_back(item);
    return arguments;
}

}  // namespace tesmira::worker_tests
