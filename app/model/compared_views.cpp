#include "app/model/compared_views.hpp"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>

#include "app/model/helper_programs.hpp"
#include "app/model/worker_command.hpp"
#include "common/owned_items.hpp"

namespace tesmira::app {

ComparedViews::ComparedViews(QObject* parent) : QObject(parent) {
    helperProgram = helperPath(QStringLiteral("tesmira-page-views"));
}

ComparedViews::~ComparedViews() { stopDrawing(); }

QString ComparedViews::renew() {
    clear();
    try {
        folder_.emplace(VIEW_CACHE);
    } catch (const std::exception&) {
        return {};
    }
    root_ = QFile::decodeName(folder_->path().c_str());
    return root_;
}

void ComparedViews::clear() {
    stopDrawing();
    waiting_.clear();
    failures_.clear();
    folder_.reset();
    root_.clear();
}

void ComparedViews::stopDrawing() {
    drawing_.reset();
    if (!process_) return;
    // The helper owns nothing: it writes each image whole under its name, and what it leaves
    // half-written goes with the folder. A killed process ends at once, so it is reaped here.
    process_->disconnect(this);
    process_->kill();
    process_->waitForFinished();
    process_.reset();
}

QString ComparedViews::imagePath(const Request& request, const char* side) const {
    return request.pair + QStringLiteral("/page-") + QString::number(request.page) + QLatin1Char('-') +
           QString::number(request.dpi) + QLatin1Char('-') + QLatin1String(side) + QStringLiteral(".png");
}

ComparedViews::Views ComparedViews::views(const ProofPage& page, qint64 dpi, Need need) {
    if (root_.isEmpty() || page.sourceName.isEmpty() || page.sourceName.contains(QLatin1Char('/'))) return {};
    const Request request{
        page.sourceName + QLatin1Char('\n') + QString::number(page.page) + QLatin1Char('\n') + QString::number(dpi),
        root_ + QLatin1Char('/') + page.sourceName,
        page.page,
        dpi,
        need};
    if (!QFileInfo(request.pair + QStringLiteral("/after.pdf")).isFile()) return {};
    const QString before = imagePath(request, "before"), after = imagePath(request, "after");
    if (QFileInfo(before).isFile() && QFileInfo(after).isFile()) return {State::Ready, before, after, {}};
    if (const auto failure = failures_.constFind(request.key); failure != failures_.cend())
        return {State::Failed, {}, {}, *failure};
    if (!drawing_ || drawing_->key != request.key) {
        const auto same = [&](const Request& other) { return other.key == request.key; };
        if (need == Need::Now) {
            waiting_.removeIf(same);
            waiting_.append(request);
            if (drawing_ && drawing_->need == Need::Later) {
                waiting_.prepend(*drawing_);  // drawn again, last
                stopDrawing();
            }
        } else if (std::none_of(waiting_.begin(), waiting_.end(), same)) {
            waiting_.prepend(request);  // drawn last
        }
        if (!drawing_) drawNext();
    }
    return {State::Drawing, {}, {}, {}};
}

void ComparedViews::drawNext() {
    if (waiting_.isEmpty()) return;
    drawing_ = waiting_.takeLast();
    process_ = std::make_unique<QProcess>();
    process_->setProgram(helperProgram);
    process_->setArguments({drawing_->pair + QStringLiteral("/before.pdf"),
                            drawing_->pair + QStringLiteral("/after.pdf"),
                            QString::number(drawing_->page),
                            QString::number(drawing_->dpi),
                            imagePath(*drawing_, "before"),
                            imagePath(*drawing_, "after")});
    process_->setProcessEnvironment(workerEnvironment());
    process_->setStandardOutputFile(QProcess::nullDevice());
    connect(process_.get(), &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        finished(exitCode, status == QProcess::CrashExit);
    });
    connect(process_.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) finished(-1, false);
    });
    process_->start();
}

void ComparedViews::finished(int exitCode, bool crashed) {
    const Request request = *drawing_;
    const QString reason = QString::fromUtf8(process_->readAllStandardError()).trimmed();
    // Handed on rather than destroyed here: this runs inside the process object's own signal.
    process_.release()->deleteLater();
    drawing_.reset();
    const bool complete = exitCode == 0 && !crashed && QFileInfo(imagePath(request, "before")).isFile() &&
                          QFileInfo(imagePath(request, "after")).isFile();
    if (!complete)
        failures_.insert(
            request.key,
            reason.isEmpty() ? QStringLiteral("描画できませんでした。") : reason.section(QLatin1Char('\n'), -1));
    drawNext();
    emit drawn();
}

}  // namespace tesmira::app
