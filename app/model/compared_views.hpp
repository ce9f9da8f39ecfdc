#pragma once
// The old and the new page of each result page, as the comparison saw them. The worker keeps
// the PDFs it compared in a private folder of the window's (one per run, named for the worker
// by folder()); the helper program draws a page's two views from them on request, one page at
// a time, into the same folder. The folder lives as long as the results it belongs to: renew()
// before a run replaces it, clear() and the destructor remove it. It is owned through a lock, so
// that what a killed window leaves is swept by the next start.

#include <QHash>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

#include "app/model/records.hpp"
#include "common/files.hpp"

class QProcess;

namespace tesmira::app {

class ComparedViews : public QObject {
    Q_OBJECT

public:
    explicit ComparedViews(QObject* parent = nullptr);
    ~ComparedViews() override;  // stops a drawing and removes the folder

    // A new, empty folder for the next run's compared PDFs, in place of the last one; empty
    // when none can be made (the run then goes on without views).
    QString renew();
    // Removes the folder and everything drawn in it.
    void clear();

    enum class State { Unavailable, Drawing, Ready, Failed };
    struct Views {
        State state = State::Unavailable;
        QString before, after;  // the two PNG files, once Ready
        QString message;        // why they could not be drawn, once Failed
    };
    // Whether a drawing is for the page the operator looks at, or for later (the pictures in
    // the change list): those wait until every page asked for now is drawn, and one being drawn
    // gives way to a page asked for now, to be drawn again later.
    enum class Need { Now, Later };
    // The views of one result page drawn at `dpi`; asks for them when they are not drawn yet,
    // the page asked last being drawn next. Unavailable when the run kept no PDFs for it.
    Views views(const ProofPage& page, qint64 dpi, Need need = Need::Now);

    // The helper: "libexec/tesmira/tesmira-page-views" beside the application's "bin" folder.
    QString helperProgram;

signals:
    void drawn();  // a drawing has ended, with its views or with a failure

private:
    struct Request {
        QString key, pair;
        qint64 page = 0, dpi = 0;
        Need need = Need::Now;
    };
    QString imagePath(const Request& request, const char* side) const;
    void drawNext();
    void finished(int exitCode, bool crashed);
    void stopDrawing();

    std::optional<TemporaryFolder> folder_;
    QString root_;
    QList<Request> waiting_;
    std::optional<Request> drawing_;
    std::unique_ptr<QProcess> process_;
    QHash<QString, QString> failures_;
};

}  // namespace tesmira::app
