// Stands in for the worker in the application's tests. It follows a script that the test
// leaves in "$HOME/fake-worker/script.json" (HOME is one of the few variables the
// application passes on): a list of steps, each one of
//   {"out": HEX}          write the bytes (in hexadecimal, so that a step can end inside a
//                         UTF-8 character) to standard output, in one write
//   {"err": HEX}          the same on standard error
//   {"sleep_ms": N}       pause
//   {"wait_for_term": true}  pause until SIGTERM arrives
//   {"exit": N}           exit with status N
//   {"later": HEX, "after_ms": N}  leave a child process behind that holds standard output
//                         and writes the bytes after N milliseconds
//   {"close_out": true}   close standard output and go on
//   {"flood": true}       write "x" to standard output without end and without a line feed
// Without an "exit" step it exits 0 at the end. Before the first step it records its
// arguments, environment, working folder, process id and kind of standard input in "$HOME/fake-worker/launch.json";
// SIGTERM is recorded in "$HOME/fake-worker/signals" and ends it with status 130, as the worker does.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

extern char** environ;

namespace {

std::string folder() { return std::string(std::getenv("HOME") ? std::getenv("HOME") : ".") + "/fake-worker"; }

std::string signalLog;

void onTerm(int) {
    const int fd = ::open(signalLog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd >= 0) {
        (void)!::write(fd, "SIGTERM\n", 8);
        ::close(fd);
    }
    ::_exit(130);
}

void writeAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += std::size_t(n);
    }
}

std::string bytes(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    signalLog = folder() + "/signals";
    ::signal(SIGTERM, onTerm);
    ::signal(SIGPIPE, SIG_IGN);

    nlohmann::json launch;
    launch["arguments"] = nlohmann::json::array();
    for (int i = 1; i < argc; ++i) launch["arguments"].push_back(argv[i]);
    launch["environment"] = nlohmann::json::array();
    for (char** entry = environ; *entry; ++entry) launch["environment"].push_back(*entry);
    launch["cwd"] = std::filesystem::current_path().string();
    launch["pid"] = ::getpid();
    struct stat input {};
    launch["stdin_is_pipe"] = ::fstat(0, &input) == 0 && S_ISFIFO(input.st_mode);
    std::ofstream(folder() + "/launch.json") << launch.dump();

    std::ifstream in(folder() + "/script.json");
    const nlohmann::json script = nlohmann::json::parse(in, nullptr, false);
    if (!script.is_array()) return 0;
    for (const auto& step : script) {
        if (step.contains("out")) writeAll(1, bytes(step["out"].get<std::string>()));
        if (step.contains("err")) writeAll(2, bytes(step["err"].get<std::string>()));
        if (step.contains("sleep_ms"))
            std::this_thread::sleep_for(std::chrono::milliseconds(step["sleep_ms"].get<int>()));
        if (step.contains("wait_for_term"))
            for (;;) ::pause();
        if (step.contains("later") && ::fork() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(step["after_ms"].get<int>()));
            writeAll(1, bytes(step["later"].get<std::string>()));
            ::_exit(0);
        }
        if (step.contains("close_out")) ::close(1);
        if (step.contains("flood"))
            for (const std::string block(65536, 'x');;) writeAll(1, block);
        if (step.contains("exit")) return step["exit"].get<int>();
    }
    return 0;
}
