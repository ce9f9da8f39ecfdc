#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "common/json.hpp"

namespace tesmira::conductor {

// tesmira-compare's one-line progress display: the file, the page and the time since the
// start, drawn on a terminal (standard error) in place, redrawn every second so that the time
// goes on during a long page, and cleared when it ends. Nothing is drawn before the first page.
class ProgressLine {
public:
    // `single_name` is the old file's name when the run has one pair, whose events name none.
    ProgressLine(std::FILE* terminal, std::string single_name);
    ~ProgressLine();  // clears the line; silent, as it also runs while a failure unwinds
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Takes a run's event; each "progress" names the page now compared.
    void take(const std::string& event, const Json& fields);

    // Clears the line and stops; a write that failed on the way throws std::system_error
    // naming standard error.
    void finish();

private:
    void draw(std::unique_lock<std::mutex>& lock);  // the current page with the time, fitted to the width
    void clear(std::unique_lock<std::mutex>& lock);
    void put(const std::string& text);  // keeps the first failure's errno
    void tick(std::stop_token stop);    // the ticker's loop: a redraw each second
    void stop_ticking();

    std::FILE* terminal_;
    std::string single_name_;
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
    std::condition_variable_any redraw_;
    std::string page_;             // "a.pdf: page 2 of 5 (file 1 of 2)", empty before the first page
    std::size_t drawn_width_ = 0;  // the columns now on the line
    int write_error_ = 0;          // errno of the first failed write
    std::jthread ticker_;          // last: it stops, and is joined, before the rest goes
};

}  // namespace tesmira::conductor
