#pragma once
// The application's one observable model: the chosen PDFs, the worker run and its texts,
// the result rows, the archive selection and the comparison settings. The window rebuilds
// itself from this object; the model holds no widget.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

#include "app/model/change_list.hpp"
#include "app/model/compared_views.hpp"
#include "app/model/output_pipe.hpp"
#include "app/model/proof_settings.hpp"
#include "app/model/records.hpp"
#include "app/model/worker_output.hpp"

class QProcess;

namespace tesmira::app {
struct WorkerRunRequest;
}

namespace tesmira::app {

// The two sides of a comparison: the old PDFs and the new ones.
enum class Side { before, after };

class ProofModel : public QObject {
    Q_OBJECT

public:
    explicit ProofModel(QObject* parent = nullptr);
    // A worker that is still running is left running: it is never killed from here.
    ~ProofModel() override;

    // Published fields. Every write sends willChange() once, before the value changes, also
    // when the new value equals the old one.
    const QList<QUrl>& before() const { return before_; }
    const QList<QUrl>& after() const { return after_; }
    bool running() const { return running_; }
    const QString& status() const { return status_; }
    const std::optional<QString>& error() const { return error_; }
    double progress() const { return progress_; }
    const QList<ProofPage>& results() const { return results_; }
    const std::optional<QUrl>& output() const { return output_; }
    // The resolution of the run that the results come from (not published by itself: it is
    // set at the start, before the results).
    qint64 resultResolution() const { return resultResolution_; }
    bool archiveMode() const { return archiveMode_; }
    const QList<ArchiveProject>& archiveProjects() const { return archiveProjects_; }
    const QString& archiveProjectID() const { return archiveProjectID_; }
    const QString& newProjectName() const { return newProjectName_; }

    // The four fields the window writes directly.
    void setArchiveMode(bool value) { publish(archiveMode_, value); }
    void setArchiveProjectID(const QString& value) { publish(archiveProjectID_, value); }
    void setNewProjectName(const QString& value) { publish(newProjectName_, value); }
    void setError(const std::optional<QString>& value) { publish(error_, value); }

    // The changes of the results, one row each; reset whenever the results are written.
    const ChangeList& changes() const { return changes_; }
    ChangeList& changes() { return changes_; }

    // The old and the new page of the results.
    ComparedViews& views() { return views_; }

    ProofSettings& settings() { return *settings_; }
    const ProofSettings& settings() const { return *settings_; }

    // The user's Downloads folder, the output root of every run; nothing when the platform
    // names no absolute folder.
    std::optional<QString> downloads() const;

    // Selection (each does nothing while a run is going).
    void choose(bool beforeSide);                           // asks chooseFiles for PDFs
    void select(const QList<QUrl>& urls, bool beforeSide);  // adds PDFs to one side
    // Files opened from the desktop without a side (the file manager's "Open with", a start
    // with one file): added to the first side without files, 変更前 then 変更後, as select()
    // adds them; with files on both sides, `error` says so and nothing is added.
    void selectOnEmptySide(const QList<QUrl>& urls);
    void remove(const std::optional<QUrl>& url, bool beforeSide);  // one file, or every file
    void reset();
    void reveal();  // selects the last run's result PDFs in the file manager

    // Why the chosen files cannot be paired, or nothing; and whether a run may start.
    std::optional<QString> matchIssue() const;
    bool canStart() const;

    // Runs and cancellation.
    void start(bool registerBaseline = false);
    void cancel();  // SIGTERM to the worker; the run settles when the worker has exited

    // Archive projects.
    void refreshArchiveProjects();
    void createArchiveProject();

    // Opens the settings window.
    void showSettings();

    // Applies one decoded worker event to the model.
    void receive(const Json& event);

    // The model's ways into the desktop, filled in by the window; without a window the
    // first two do nothing. chooseFiles gets the dialog's caption and returns the chosen
    // files, none when the dialog was dismissed.
    std::function<void()> showSettingsWindow;
    std::function<QList<QUrl>(const QString& caption)> chooseFiles;
    // Selects files in the file manager; by default over D-Bus, falling back to opening
    // the folder.
    std::function<void(const QList<QUrl>&)> showInFileManager;

    // The worker program: "libexec/tesmira/TesmiraWorker" beside the application's "bin" folder.
    QString workerProgram;

signals:
    void willChange();

private:
    template <typename T>
    void publish(T& field, T value) {
        emit willChange();
        field = std::move(value);
    }
    void invalidateResults();
    void publishResults(QList<ProofPage> rows);
    void takeWorkerOutput(const QByteArray& bytes);
    void settleWhenDone();
    void settle();
    void receiveArchiveSaved(const Json& event);
    void receiveProgress(const Json& event);
    void receiveComplete(const Json& event);
    void launchFailed(const QString& description);
    // The stages of start(): the Downloads folder when the worker can be launched (else the
    // refusal is set), the run's command, the published state of a run that begins, and the
    // worker's signals.
    std::optional<QString> launchableOutputRoot();
    WorkerRunRequest runRequest(const QString& outputRoot, bool registerBaseline);
    void publishRunStarted();
    void watchWorker(QProcess* process);

    QList<QUrl> before_, after_;
    bool running_ = false;
    QString status_;
    std::optional<QString> error_;
    double progress_ = 0;
    QList<ProofPage> results_;
    std::optional<QUrl> output_;
    qint64 resultResolution_ = 0;
    bool archiveMode_ = false;
    QList<ArchiveProject> archiveProjects_;
    QString archiveProjectID_;
    QString newProjectName_;

    std::unique_ptr<ProofSettings> settings_;
    ChangeList changes_;
    ComparedViews views_;
    // The running worker. It is only ever destroyed once it has exited: destroying a running
    // QProcess would kill the worker with SIGKILL and leave its partial folders behind.
    std::unique_ptr<QProcess, void (*)(QProcess*)> process_;
    // The run's standard output; kept until the next run, since it may end from inside its
    // own reading.
    std::unique_ptr<OutputPipe> outputPipe_;
    WorkerOutput workerOutput_;
    bool cancelled_ = false;
    bool completedSuccessfully_ = false;
    // The run is settled once the worker has exited and its output has ended, in either order.
    bool workerExited_ = false;
    bool outputEnded_ = false;
    int exitCode_ = 0;
    bool crashed_ = false;
};

}  // namespace tesmira::app
