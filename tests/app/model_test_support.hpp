#pragma once
// What the model tests share: a private home folder per test, the fake worker's script and
// launch record, and a record of the model's published fields.

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <string>
#include <vector>

#include "app/model/proof_model.hpp"
#include "common/json.hpp"

// QCOMPARE for JSON values, which convert to too many types for QtTest's overloads.
#define COMPARE_JSON(actual, expected)                                                             \
    do {                                                                                           \
        const tesmira::Json actual_ = (actual), expected_ = (expected);                            \
        QVERIFY2(actual_ == expected_,                                                             \
                 ("\n   Actual: " + actual_.dump() + "\n Expected: " + expected_.dump()).c_str()); \
    } while (false)

namespace tesmira::app::testing {

// A fresh HOME with its own XDG folders and a Downloads folder, set for this process (and so
// for every worker the model starts). The folder goes with the object.
class TestHome {
public:
    TestHome() {
        home_ = dir_.path() + QStringLiteral("/home");
        QDir().mkpath(home_ + QStringLiteral("/Downloads"));
        qputenv("HOME", home_.toUtf8());
        qputenv("XDG_CONFIG_HOME", (home_ + QStringLiteral("/.config")).toUtf8());
        qputenv("XDG_DATA_HOME", (home_ + QStringLiteral("/.local/share")).toUtf8());
        qputenv("XDG_CACHE_HOME", (home_ + QStringLiteral("/.cache")).toUtf8());
        qputenv("TMPDIR", (dir_.path() + QStringLiteral("/tmp")).toUtf8());
        QDir().mkpath(dir_.path() + QStringLiteral("/tmp"));
    }
    const QString& path() const { return home_; }
    QString downloads() const { return home_ + QStringLiteral("/Downloads"); }
    QString scratch() const { return dir_.path(); }  // beside the home folder, for inputs

private:
    QTemporaryDir dir_;
    QString home_;
};

inline QUrl fileUrl(const QString& path) { return QUrl::fromLocalFile(path); }

// A worker's output line: the JSON text and its line feed.
inline std::string line(const std::string& json) { return json + "\n"; }

// The status once files are chosen.
inline const QString CHOSEN = QStringLiteral("同じファイル名・同じページ番号同士を比較します");

// The permission bits of the item itself (a link is not followed); 0 when there is none.
inline mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::lstat(path.toUtf8().constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

inline QList<QUrl> fileUrls(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) urls.append(fileUrl(path));
    return urls;
}

// Steps of the fake worker's script: see fake_worker.cpp.
inline Json out(const std::string& bytes) {
    Json step;
    step["out"] = QByteArray::fromStdString(bytes).toHex().toStdString();
    return step;
}
inline Json err(const std::string& bytes) {
    Json step;
    step["err"] = QByteArray::fromStdString(bytes).toHex().toStdString();
    return step;
}
inline Json pause(int milliseconds) {
    Json step;
    step["sleep_ms"] = milliseconds;
    return step;
}
inline Json waitForTerm() {
    Json step;
    step["wait_for_term"] = true;
    return step;
}
inline Json exitWith(int status) {
    Json step;
    step["exit"] = status;
    return step;
}
inline Json later(const std::string& bytes, int milliseconds) {
    Json step;
    step["later"] = QByteArray::fromStdString(bytes).toHex().toStdString();
    step["after_ms"] = milliseconds;
    return step;
}
inline Json closeOutput() {
    Json step;
    step["close_out"] = true;
    return step;
}
inline Json flood() {
    Json step;
    step["flood"] = true;
    return step;
}
inline Json script(std::initializer_list<Json> steps) {
    Json list = Json::array();
    for (const Json& step : steps) list.push_back(step);
    return list;
}

// The fake worker's script.
inline void writeScript(const TestHome& home, const Json& steps) {
    QDir().mkpath(home.path() + QStringLiteral("/fake-worker"));
    QFile file(home.path() + QStringLiteral("/fake-worker/script.json"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray::fromStdString(steps.dump()));
}

inline Json launchRecord(const TestHome& home) {
    QFile file(home.path() + QStringLiteral("/fake-worker/launch.json"));
    if (!file.open(QIODevice::ReadOnly)) return Json();
    const QByteArray bytes = file.readAll();
    return Json::parse(bytes.begin(), bytes.end(), nullptr, false);
}

// The environment of a launch that the fake worker recorded, sorted.
inline QStringList launchEnvironment(const Json& launch) {
    QStringList environment;
    if (launch.contains("environment"))
        for (const Json& entry : launch["environment"])
            environment.append(QString::fromStdString(entry.get<std::string>()));
    environment.sort();
    return environment;
}

// What the worker and its helpers get in `home`, sorted: the few variables of their own and the
// test's TMPDIR.
inline QStringList helperEnvironment(const TestHome& home) {
    return {"HOME=" + home.path(),
            "LANG=ja_JP.UTF-8",
            "PATH=/usr/bin:/bin:/usr/sbin:/sbin",
            "PYTHONNOUSERSITE=1",
            "TMPDIR=" + home.scratch() + "/tmp"};
}

inline QByteArray signalRecord(const TestHome& home) {
    QFile file(home.path() + QStringLiteral("/fake-worker/signals"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A small PDF of `pages` pages with one black square whose place follows `variant`, so that
// two variants differ on every page.
void writeSamplePdf(const QString& path, int pages, int variant = 0, double width = 100, double height = 100);

// The same sample's first `plain` pages, then `endless` pages that draw without end (refused
// only after seconds): a real run over them is still going when a test cancels it.
void writeSampleThenEndlessPdf(const QString& path, int plain, int endless, int variant = 0, double width = 100,
                               double height = 100);

// Waits, running the event loop, until the run has settled.
[[nodiscard]] inline bool settles(const ProofModel& model, int milliseconds = 120000) {
    return QTest::qWaitFor([&] { return !model.running(); }, milliseconds);
}

// The twelve published fields at one moment.
struct Published {
    QList<QUrl> before, after;
    bool running;
    QString status;
    std::optional<QString> error;
    double progress;
    QList<ProofPage> results;
    std::optional<QUrl> output;
    bool archiveMode;
    QList<ArchiveProject> archiveProjects;
    QString archiveProjectID, newProjectName;

    explicit Published(const ProofModel& m)
        : before(m.before()),
          after(m.after()),
          running(m.running()),
          status(m.status()),
          error(m.error()),
          progress(m.progress()),
          results(m.results()),
          output(m.output()),
          archiveMode(m.archiveMode()),
          archiveProjects(m.archiveProjects()),
          archiveProjectID(m.archiveProjectID()),
          newProjectName(m.newProjectName()) {}

    // The names of the fields that differ between two moments.
    QStringList differences(const Published& o) const {
        QStringList names;
        if (before != o.before) names << "before";
        if (after != o.after) names << "after";
        if (running != o.running) names << "running";
        if (status != o.status) names << "status";
        if (error != o.error) names << "error";
        if (progress != o.progress) names << "progress";
        if (results != o.results) names << "results";
        if (output != o.output) names << "output";
        if (archiveMode != o.archiveMode) names << "archiveMode";
        if (archiveProjects != o.archiveProjects) names << "archiveProjects";
        if (archiveProjectID != o.archiveProjectID) names << "archiveProjectID";
        if (newProjectName != o.newProjectName) names << "newProjectName";
        return names;
    }
};

// Records the published fields at every change signal, that is just before each write, so
// that consecutive records show which field each write changed.
class WriteLog {
public:
    explicit WriteLog(ProofModel& model)
        : model_(model),
          connection_(QObject::connect(&model, &ProofModel::willChange, [this] { moments_.emplace_back(model_); })) {}
    ~WriteLog() { QObject::disconnect(connection_); }
    WriteLog(const WriteLog&) = delete;
    WriteLog& operator=(const WriteLog&) = delete;
    int count() const { return int(moments_.size()); }
    // The field each write changed, "(same)" for a write of an equal value.
    QStringList writes() const {
        QStringList names;
        for (std::size_t i = 0; i < moments_.size(); ++i) {
            const Published next = i + 1 < moments_.size() ? moments_[i + 1] : Published(model_);
            const QStringList changed = moments_[i].differences(next);
            names << (changed.isEmpty() ? QStringLiteral("(same)") : changed.join(QLatin1Char('+')));
        }
        return names;
    }

private:
    ProofModel& model_;
    std::vector<Published> moments_;
    QMetaObject::Connection connection_;
};

}  // namespace tesmira::app::testing
