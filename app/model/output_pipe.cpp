#include "app/model/output_pipe.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <QProcess>
#include <QSocketNotifier>

#include <cerrno>
#include <system_error>

namespace tesmira::app {
namespace {

constexpr qsizetype READ_SIZE = 64 * 1024;
// Reads per wake-up: a worker that writes without pause must not keep the event loop from
// drawing the window.
constexpr int READS_PER_TURN = 16;

}  // namespace

OutputPipe::OutputPipe(std::function<void(const QByteArray&)> received, std::function<void()> ended)
    : received_(std::move(received)), ended_(std::move(ended)) {
    int ends[2];
    // Close-on-exec: no other program this application starts may hold the output open.
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
    readEnd_ = Descriptor(ends[0]);
    writeEnd_ = Descriptor(ends[1]);
    ::fcntl(readEnd_.get(), F_SETFL, ::fcntl(readEnd_.get(), F_GETFL) | O_NONBLOCK);
}

OutputPipe::~OutputPipe() { close(); }

void OutputPipe::attach(QProcess& process) {
    process.setStandardOutputFile(QProcess::nullDevice());
    const int writeEnd = writeEnd_.get();
    // In the child, between fork and exec: dup2 is async-signal-safe, and the copy on
    // descriptor 1 is not closed on exec.
    process.setChildProcessModifier([writeEnd] { ::dup2(writeEnd, STDOUT_FILENO); });
}

void OutputPipe::startReading() {
    writeEnd_.reset();
    if (!readEnd_.valid() || notifier_) return;
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.get(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readAvailable(); });
}

void OutputPipe::close() {
    if (notifier_) notifier_->setEnabled(false);
    readEnd_.reset();
    writeEnd_.reset();
}

void OutputPipe::readAvailable() {
    QByteArray bytes(READ_SIZE, Qt::Uninitialized);
    for (int turn = 0; turn < READS_PER_TURN && readEnd_.valid(); ++turn) {
        const ssize_t n = ::read(readEnd_.get(), bytes.data(), std::size_t(bytes.size()));
        if (n > 0) {
            received_(QByteArray(bytes.constData(), qsizetype(n)));  // may close the pipe
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // End of file, or a read error, which ends the output just the same.
        close();
        ended_();
        return;
    }
}

}  // namespace tesmira::app
