// One run of the worker: launch, cancellation, the events it reports and the settlement
// once it has exited and its output has ended.
#include <QFileInfo>
#include <QProcess>
#include <QSet>

#include <algorithm>
#include <exception>

#include "app/model/archive_library.hpp"
#include "app/model/json_fields.hpp"
#include "app/model/page_report.hpp"
#include "app/model/proof_model.hpp"
#include "app/model/worker_command.hpp"

namespace tesmira::app {

std::optional<QString> ProofModel::launchableOutputRoot() {
    const QFileInfo worker(workerProgram);
    if (!worker.isFile() || !worker.isExecutable()) {
        setError(QStringLiteral("検版エンジンが見つかりません。アプリを再ビルドしてください。"));
        return std::nullopt;
    }
    const std::optional<QString> outputRoot = downloads();
    // The worker's own refusal of a missing output root, said before it is started.
    if (!outputRoot) setError(QStringLiteral("ダウンロードフォルダーが見つかりません。"));
    return outputRoot;
}

WorkerRunRequest ProofModel::runRequest(const QString& outputRoot, bool registerBaseline) {
    // The last results' views go with them; a comparison keeps its PDFs for its own.
    views_.clear();
    const QString comparedCopies = registerBaseline ? QString() : views_.renew();
    return {before_,
            after_,
            outputRoot,
            QString::fromStdString(settings_->dictionary().dump()),
            archiveMode_,
            registerBaseline,
            ArchiveLibrary::root(),
            archiveProjectID_,
            comparedCopies};
}

void ProofModel::publishRunStarted() {
    publish(running_, true);
    cancelled_ = false;
    completedSuccessfully_ = false;
    workerExited_ = false;
    outputEnded_ = false;
    publish(progress_, 0.0);
    publish(error_, {});
    publishResults({});
    publish(output_, {});
    resultResolution_ = settings_->dpi();  // read with the results, which come later
    publish(status_, QStringLiteral("PDFを確認しています…"));
}

void ProofModel::watchWorker(QProcess* process) {
    // Standard error is read only so that the worker never blocks on a full pipe.
    connect(process, &QProcess::readyReadStandardError, process, [process] { process->readAllStandardError(); });
    connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus status) {
        if (process != process_.get()) return;
        workerExited_ = true;
        exitCode_ = exitCode;
        crashed_ = status == QProcess::CrashExit;
        settleWhenDone();
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && process == process_.get()) launchFailed(process->errorString());
    });
}

void ProofModel::start(bool registerBaseline) {
    if (!canStart()) return;
    if (registerBaseline && !archiveMode_) return;
    const std::optional<QString> outputRoot = launchableOutputRoot();
    if (!outputRoot) return;
    const WorkerRunRequest request = runRequest(*outputRoot, registerBaseline);
    std::unique_ptr<OutputPipe> pipe;
    try {
        pipe = std::make_unique<OutputPipe>([this](const QByteArray& bytes) { takeWorkerOutput(bytes); },
                                            [this] {
                                                outputEnded_ = true;
                                                settleWhenDone();
                                            });
    } catch (const std::exception& failure) {
        setError(QStringLiteral("検版を開始できません: ") + QString::fromLocal8Bit(failure.what()));
        return;
    }
    // Owned from its creation, with the run's deleter, which never kills a running worker.
    decltype(process_) owned(new QProcess, process_.get_deleter());
    QProcess* process = owned.get();
    process->setProgram(workerProgram);
    process->setArguments(workerArguments(request));
    process->setProcessEnvironment(workerEnvironment());
    process->setProcessChannelMode(QProcess::SeparateChannels);
    pipe->attach(*process);

    publishRunStarted();
    process_ = std::move(owned);
    outputPipe_ = std::move(pipe);
    workerOutput_.clear();
    watchWorker(process);
    // Standard input is a pipe of its own that is never written.
    process->start(QIODevice::ReadWrite);
    if (process == process_.get()) outputPipe_->startReading();
}

void ProofModel::launchFailed(const QString& description) {
    publish(running_, false);
    process_.reset();
    outputPipe_->close();
    publish(error_, std::optional(QStringLiteral("検版を開始できません: ") + description));
}

void ProofModel::cancel() {
    cancelled_ = true;
    publish(status_, QStringLiteral("中止しています…"));
    if (process_) process_->terminate();
    // The worker has exited, and only something it left behind still holds its output:
    // nothing of the run is awaited any more.
    if (running_ && workerExited_ && !outputEnded_) {
        outputPipe_->close();
        outputEnded_ = true;
        settleWhenDone();
    }
}

void ProofModel::takeWorkerOutput(const QByteArray& bytes) {
    for (const Json& event : workerOutput_.take(std::string_view(bytes.constData(), std::size_t(bytes.size()))))
        receive(event);
    if (!workerOutput_.overflowed()) return;
    // Not the worker's output: it is stopped, and the run settles as unconfirmed once it has
    // exited. This is no cancellation by the operator.
    outputPipe_->close();
    outputEnded_ = true;
    if (process_) process_->terminate();
    settleWhenDone();
}

void ProofModel::settleWhenDone() {
    if (running_ && workerExited_ && outputEnded_) settle();
}

void ProofModel::settle() {
    // Every line the output completed has been applied; an unfinished last line is dropped.
    const bool unreadable = workerOutput_.overflowed();
    workerOutput_.clear();
    publish(running_, false);
    process_.reset();
    if (!completedSuccessfully_ || cancelled_ || unreadable || crashed_ || exitCode_ != 0) views_.clear();
    if (cancelled_) {
        publish(status_, QStringLiteral("中止しました。未完成の結果は保存しません。"));
        return;
    }
    if (unreadable) {
        publish(error_, std::optional(QStringLiteral("処理結果を確認できませんでした。")));
        return;
    }
    if (crashed_ || exitCode_ != 0) {
        if (!error_)
            publish(error_, std::optional(QStringLiteral("処理に失敗しました。PDF・解像度を確認してください。")));
        publish(status_, QStringLiteral("検版できませんでした"));
        return;
    }
    if (completedSuccessfully_) {
        publish(before_, {});
        publish(after_, {});
        return;
    }
    publish(error_, std::optional(QStringLiteral("処理結果を確認できませんでした。")));
}

void ProofModel::receive(const Json& event) {
    const auto name = stringAt(event, "event");
    if (!name) return;
    if (*name == QLatin1String("archive_saved")) {
        receiveArchiveSaved(event);
    } else if (*name == QLatin1String("start")) {
        publish(status_,
                QStringLiteral("全") + QString::number(integerAt(event, "total").value_or(0)) +
                    QStringLiteral("ページを比較します"));
    } else if (*name == QLatin1String("progress")) {
        receiveProgress(event);
    } else if (*name == QLatin1String("complete")) {
        receiveComplete(event);
    } else if (*name == QLatin1String("error")) {
        publish(error_, std::optional(stringAt(event, "message").value_or(QStringLiteral("処理できませんでした。"))));
    }
}

void ProofModel::receiveArchiveSaved(const Json& event) {
    completedSuccessfully_ = true;
    publish(progress_, 1.0);
    publish(status_,
            QString::number(integerAt(event, "count").value_or(0)) +
                QStringLiteral("件を初回保存しました。次回は新しいPDFだけで比較できます。"));
    publish(after_, {});
}

void ProofModel::receiveProgress(const Json& event) {
    const qint64 page = integerAt(event, "page").value_or(1);
    const qint64 total = integerAt(event, "total").value_or(1);
    publish(progress_, (double(page) - 1.0) / double(std::max<qint64>(total, 1)));
    const QString source = stringAt(event, "name").value_or(QString());
    publish(status_,
            (source.isEmpty() ? QString() : source + QLatin1Char('\n')) + QString::number(page) +
                QStringLiteral(" / ") + QString::number(total) + QStringLiteral(" ページを検版中…"));
}

// A "complete" without its output folder or with pages that are not records is not applied.
void ProofModel::receiveComplete(const Json& event) {
    const auto outputPath = stringAt(event, "output");
    const auto pages = event.find("pages");
    if (!outputPath || pages == event.end() || !pages->is_array() ||
        !std::all_of(pages->begin(), pages->end(), [](const Json& page) { return page.is_object(); }))
        return;
    publish(output_, std::optional(QUrl::fromLocalFile(*outputPath)));
    QList<ProofPage> rows;
    QSet<QString> files;
    for (const Json& report : *pages) {
        if (auto row = resultRow(report)) {
            files.insert(row->file);
            rows.append(std::move(*row));
        }
    }
    const qsizetype pageCount = rows.size();
    publishResults(std::move(rows));
    completedSuccessfully_ = true;
    publish(progress_, 1.0);
    publish(status_,
            QString::number(pageCount) + QStringLiteral("ページ完了・") + QString::number(files.size()) +
                QStringLiteral("件のPDFをダウンロードに保存しました"));
    if (isTrue(event, "archive_updated"))
        publish(status_, status_ + QStringLiteral("\nこの案件の最新保存版も更新しました。過去版は残しています。"));
}

}  // namespace tesmira::app
