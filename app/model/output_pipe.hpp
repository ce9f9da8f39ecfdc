#pragma once
// The worker's standard output, read through a pipe of the model's own instead of QProcess's
// channel: QProcess stops reading when the worker exits, and lines that a process it left
// behind still writes would be lost. This output ends only when the last writer has closed it.

#include <QByteArray>

#include <functional>
#include <memory>

#include "common/descriptor.hpp"

class QProcess;
class QSocketNotifier;

namespace tesmira::app {

class OutputPipe {
public:
    // Creates the pipe; a failure is std::system_error with the system's reason.
    OutputPipe(std::function<void(const QByteArray&)> received, std::function<void()> ended);
    ~OutputPipe();
    OutputPipe(const OutputPipe&) = delete;
    OutputPipe& operator=(const OutputPipe&) = delete;

    // Makes the pipe the standard output of `process` when it starts.
    void attach(QProcess& process);
    // Call once the process has been started: gives up this side's write end, so that the
    // output ends with the worker's, and starts reading.
    void startReading();
    // Stops reading and closes the pipe; `ended` is not called for it.
    void close();

private:
    void readAvailable();

    std::function<void(const QByteArray&)> received_;
    std::function<void()> ended_;
    Descriptor readEnd_;
    Descriptor writeEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tesmira::app
