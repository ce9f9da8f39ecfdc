#include "app/model/proof_model.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstddef>

#include "app/model/file_manager.hpp"
#include "app/model/file_names.hpp"
#include "app/model/helper_programs.hpp"
#include "common/input_limits.hpp"
#include "common/owned_items.hpp"

namespace tesmira::app {
namespace {

// The platform's standard form of a file path: dot segments, doubled separators and parent
// segments resolved, without looking at the disk.
QString standardizedPath(const QUrl& url) { return QDir::cleanPath(filePath(url)); }

// Destroys a worker process object once the worker has exited; one still running is
// abandoned to run on, so that it can remove its partial folders itself.
void releaseProcess(QProcess* process) {
    if (!process) return;
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    process->setParent(nullptr);
    // Kept reachable for the rest of the process, so that leak checkers see no lost object.
    static QList<QProcess*>* abandoned = new QList<QProcess*>;
    abandoned->append(process);
}

}  // namespace

ProofModel::ProofModel(QObject* parent)
    : QObject(parent),
      status_(QStringLiteral("新旧のPDFを選んでください")),
      settings_(std::make_unique<ProofSettings>()),
      process_(nullptr, releaseProcess) {
    showInFileManager = selectInFileManager;
    workerProgram = helperPath(QStringLiteral("TesmiraWorker"));
    // What workers killed with the window (a logout, the OOM killer) left in the Downloads
    // folder goes at the start; a worker still running keeps its items.
    if (const std::optional<QString> root = downloads())
        sweep_leftovers(QFile::encodeName(*root).toStdString(), OUTPUT_ROOT_ITEMS);
    // And the views of a window killed before.
    sweep_leftovers(QFile::encodeName(QDir::tempPath()).toStdString(), std::array{VIEW_CACHE});
}

ProofModel::~ProofModel() = default;

std::optional<QString> ProofModel::downloads() const {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    // A relative answer (a hand-edited user-dirs file) would name a folder relative to
    // wherever the worker happens to start; it names no folder at all.
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder)) return std::nullopt;
    return folder;
}

void ProofModel::choose(bool beforeSide) {
    if (running_ || !chooseFiles) return;
    const QList<QUrl> urls = chooseFiles(beforeSide ? QStringLiteral("変更前のPDFをまとめて選択（追加）")
                                                    : QStringLiteral("変更後のPDFをまとめて選択（追加）"));
    if (!urls.isEmpty()) select(urls, beforeSide);
}

void ProofModel::select(const QList<QUrl>& urls, bool beforeSide) {
    if (running_) return;
    if (urls.isEmpty() || !std::all_of(urls.begin(), urls.end(), isPdfFileUrl)) {
        setError(QStringLiteral("PDFファイルだけを選択してください。"));
        return;
    }
    QList<QUrl> merged = beforeSide ? before_ : after_;
    QStringList standardized;
    for (const QUrl& url : merged) standardized.append(standardizedPath(url));
    for (const QUrl& url : urls) {
        const QString path = standardizedPath(url);
        if (standardized.contains(path)) continue;
        standardized.append(path);
        merged.append(url);
    }
    if (std::size_t(merged.size()) > MAX_FILES_PER_SIDE) {
        setError(QStringLiteral("各側100ファイル以内にしてください。"));
        return;
    }
    std::stable_sort(merged.begin(), merged.end(), [](const QUrl& a, const QUrl& b) {
        return codePointLess(documentName(a), documentName(b));
    });
    publish(beforeSide ? before_ : after_, merged);
    invalidateResults();
}

void ProofModel::selectOnEmptySide(const QList<QUrl>& urls) {
    if (running_) return;
    if (!before_.isEmpty() && !after_.isEmpty()) {
        setError(
            QStringLiteral("変更前と変更後のどちらにもPDFがあります。追加するPDFはカードにドロップしてください。"));
        return;
    }
    select(urls, before_.isEmpty());
}

void ProofModel::invalidateResults() {
    views_.clear();
    publishResults({});
    publish(output_, {});
    publish(progress_, 0.0);
    completedSuccessfully_ = false;
    publish(error_, {});
    publish(status_, QStringLiteral("同じファイル名・同じページ番号同士を比較します"));
}

// The rows and, with them, their changes.
void ProofModel::publishResults(QList<ProofPage> rows) {
    publish(results_, std::move(rows));
    changes_.setResults(results_, resultResolution_);
}

void ProofModel::remove(const std::optional<QUrl>& url, bool beforeSide) {
    if (running_) return;
    QList<QUrl> side = beforeSide ? before_ : after_;
    if (url)
        side.removeAll(*url);
    else
        side.clear();
    publish(beforeSide ? before_ : after_, side);
    invalidateResults();
}

void ProofModel::reset() {
    if (running_) return;
    publish(before_, {});
    publish(after_, {});
    invalidateResults();
    publish(status_, QStringLiteral("リセットしました。次のPDFを選んでください。"));
}

void ProofModel::reveal() {
    if (!output_) return;
    QStringList names;
    for (const ProofPage& row : results_) {
        names.append(row.file);
        if (row.strictFile) names.append(*row.strictFile);
    }
    names.removeDuplicates();
    std::sort(names.begin(), names.end(), codePointLess);
    QList<QUrl> files;
    const QString folder = filePath(*output_);
    for (const QString& name : names) files.append(QUrl::fromLocalFile(folder + QLatin1Char('/') + name));
    if (showInFileManager) showInFileManager(files);
}

void ProofModel::showSettings() {
    if (showSettingsWindow) showSettingsWindow();
}

}  // namespace tesmira::app
