// One window: a start while a window is open hands its files to that window over the session
// bus (ctest runs this under dbus-run-session) and exits 0; without a bus it opens its own.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QProcess>
#include <QTest>

#include "app/ui/application_service.hpp"
#include "window_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;

namespace {

// The program started as the desktop starts it, waited for with the event loop running, so
// that this process's window can answer it.
struct Start {
    int status = -1;
    QString err;
};

Start startProgram(const QStringList& arguments, const QString& folder) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral(TESMIRA_APPLICATION), arguments);
    if (!process.waitForStarted(60000)) return {};
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 120000)) {
        process.kill();
        process.waitForFinished();
        return {-1, QString::fromUtf8(process.readAllStandardError())};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace

class SingleWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(QDBusConnection::sessionBus().isConnected()); }

    void laterStartsHandTheirFilesToTheWindow() {
        WindowFixture w;
        ui::ApplicationService service;
        QCOMPARE(service.claim(), ui::ApplicationService::Claim::ours);
        ui::serve(service, *w.window);
        const QString scratch = w.home.scratch();
        ui::addStartFiles(w.model(), ui::openedFiles({scratch + "/one.pdf"}));
        QCOMPARE(w.model().before(), fileUrls({scratch + "/one.pdf"}));

        // A second start with one file: the first empty side is 変更後. Relative paths are the
        // second start's own.
        const Start second = startProgram({QStringLiteral("two.pdf")}, scratch);
        QCOMPARE(second.status, 0);
        QCOMPARE(w.model().after(), fileUrls({scratch + "/two.pdf"}));
        QVERIFY(w.window->isVisible());

        // Files with their sides, and a start without files, which only shows the window.
        QCOMPARE(startProgram({"--before", "b.pdf", "--after", "c.pdf"}, scratch).status, 0);
        QCOMPARE(w.model().before(), fileUrls({scratch + "/b.pdf", scratch + "/one.pdf"}));
        QCOMPARE(w.model().after(), fileUrls({scratch + "/c.pdf", scratch + "/two.pdf"}));
        QCOMPARE(startProgram({}, scratch).status, 0);
        QCOMPARE(w.model().before().size(), 2);

        // Both sides hold files: the window says so, the start still ends.
        QCOMPARE(startProgram({QStringLiteral("four.pdf")}, scratch).status, 0);
        QCOMPARE(w.model().error(),
                 std::optional(QStringLiteral(
                     "変更前と変更後のどちらにもPDFがあります。追加するPDFはカードにドロップしてください。")));

        // What the desktop itself sends: Open with file URIs.
        w.model().reset();
        QDBusMessage open = QDBusMessage::createMethodCall(ui::APPLICATION_ID,
                                                           QStringLiteral("/com/example/tesmira"),
                                                           QStringLiteral("org.freedesktop.Application"),
                                                           QStringLiteral("Open"));
        open << QStringList{fileUrl(scratch + "/old.pdf").toString(), fileUrl(scratch + "/new.pdf").toString()}
             << QVariantMap();
        QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(open);
        QVERIFY(QTest::qWaitFor([&] { return pending.isFinished(); }, 30000));
        QVERIFY(!pending.isError());
        QCOMPARE(w.model().before(), fileUrls({scratch + "/old.pdf"}));
        QCOMPARE(w.model().after(), fileUrls({scratch + "/new.pdf"}));
    }

    // Without a session bus a start opens a window of its own, as it always did: it keeps running.
    void withoutABusAStartOpensItsOwnWindow() {
        WindowFixture w;
        ui::ApplicationService service;
        QCOMPARE(service.claim(), ui::ApplicationService::Claim::ours);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TESMIRA_APPLICATION), {QStringLiteral("a.pdf")});
        QVERIFY(process.waitForStarted(60000));
        QTest::qWait(3000);
        QCOMPARE(process.state(), QProcess::Running);
        process.kill();
        process.waitForFinished();
    }
};

QTEST_MAIN(SingleWindowTest)
#include "single_window_test.moc"
