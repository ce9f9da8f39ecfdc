#include "conductor/compare_progress.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "common/name_form.hpp"
#include "common/unicode.hpp"
#include "conductor/compare_summary.hpp"

namespace tesmira::conductor {
namespace {

constexpr std::size_t FALLBACK_WIDTH = 80;

// The terminal's width, less the last column, where some terminals wrap at once.
std::size_t usable_width(std::FILE* terminal) {
    winsize size{};
    const bool known = ::ioctl(::fileno(terminal), TIOCGWINSZ, &size) == 0 && size.ws_col > 1;
    return (known ? std::size_t(size.ws_col) : FALLBACK_WIDTH) - 1;
}

// "1:05", "1:02:03".
std::string elapsed_text(std::chrono::steady_clock::duration elapsed) {
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    char text[32];
    if (seconds < 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

}  // namespace

ProgressLine::ProgressLine(std::FILE* terminal, std::string single_name)
    : terminal_(terminal),
      single_name_(std::move(single_name)),
      ticker_([this](std::stop_token stop) { tick(stop); }) {}

ProgressLine::~ProgressLine() {
    stop_ticking();
    std::unique_lock lock(mutex_);
    clear(lock);
}

void ProgressLine::take(const std::string& event, const Json& fields) {
    if (event != "progress") return;
    std::string page = line_safe_name(fields.value("name", single_name_)) + ": page " +
                       std::to_string(fields.value("file_page", fields.value("page", 0))) + " of " +
                       std::to_string(fields.value("file_pages", fields.value("total", 0)));
    if (fields.contains("file_total"))
        page += " (file " + std::to_string(fields.value("file_index", 0)) + " of " +
                std::to_string(fields.value("file_total", 0)) + ")";
    std::unique_lock lock(mutex_);
    page_ = std::move(page);
    draw(lock);
}

void ProgressLine::finish() {
    stop_ticking();
    std::unique_lock lock(mutex_);
    clear(lock);
    if (write_error_ != 0) throw std::system_error(write_error_, std::generic_category(), "standard error");
}

void ProgressLine::draw(std::unique_lock<std::mutex>&) {
    if (page_.empty()) return;
    // The name gives way first, so that the page and the time stay in sight.
    const std::string time = ", " + elapsed_text(std::chrono::steady_clock::now() - started_);
    const std::size_t width = usable_width(terminal_);
    std::string line = cut_to_columns(page_ + time, width);
    if (terminal_columns(page_ + time) > width && terminal_columns(time) < width)
        line = cut_to_columns(page_, width - terminal_columns(time)) + time;
    const std::size_t line_width = terminal_columns(line);
    // Spaces cover what is left of a longer line before; no escape sequence, so that any
    // terminal shows it.
    put("\r" + line + std::string(drawn_width_ > line_width ? drawn_width_ - line_width : 0, ' '));
    drawn_width_ = std::max(line_width, drawn_width_);
}

void ProgressLine::clear(std::unique_lock<std::mutex>&) {
    if (drawn_width_ == 0) return;
    put("\r" + std::string(drawn_width_, ' ') + "\r");
    drawn_width_ = 0;
}

void ProgressLine::put(const std::string& text) {
    if ((std::fwrite(text.data(), 1, text.size(), terminal_) != text.size() || std::fflush(terminal_) != 0) &&
        write_error_ == 0)
        write_error_ = errno;
}

void ProgressLine::stop_ticking() {
    ticker_.request_stop();
    if (ticker_.joinable()) ticker_.join();
}

void ProgressLine::tick(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (!redraw_.wait_for(lock, stop, std::chrono::seconds(1), [] { return false; })) {
        if (stop.stop_requested()) return;
        draw(lock);
    }
}

}  // namespace tesmira::conductor
