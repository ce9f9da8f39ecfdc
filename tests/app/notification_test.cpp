// The end of a run is told on the desktop when the window is in the background: a notification
// to a fake notification service on a private session bus (ctest runs this under
// dbus-run-session), and none while the operator looks at the window or when no service answers.
#include <QDBusConnection>
#include <QTest>

#include "app/ui/line_limited_label.hpp"
#include "window_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;

namespace {

// org.freedesktop.Notifications, keeping what it was sent.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Sent {
        QString application, summary, body;
    };
    QList<Sent> sent;

public slots:
    uint Notify(const QString& application, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        sent.append({application, summary, body});
        return uint(sent.size());
    }
};

}  // namespace

class NotificationTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(QDBusConnection::sessionBus().isConnected()); }

    void aRunEndingInTheBackgroundIsTold() {
        // No service yet: nothing fails.
        WindowFixture w;
        finishRun(w);
        QVERIFY(!w.model().running());

        FakeNotifications service;
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notifications");
        QVERIFY(bus.registerService("org.freedesktop.Notifications"));
        QVERIFY(bus.registerObject("/org/freedesktop/Notifications", &service, QDBusConnection::ExportAllSlots));
        finishRun(w);
        QVERIFY(QTest::qWaitFor([&] { return !service.sent.isEmpty(); }, 10000));
        QCOMPARE(service.sent.size(), 1);
        QCOMPARE(service.sent[0].application, QStringLiteral("てすみら"));
        QCOMPARE(service.sent[0].summary, QStringLiteral("検版が終わりました"));
        QCOMPARE(service.sent[0].body, w.find<ui::LineLimitedLabel>("statusLabel")->fullText());
        QCOMPARE(service.sent[0].body, QStringLiteral("1ページ完了・1件のPDFをダウンロードに保存しました"));

        // The operator is looking at the window: no word.
        w.window->show();
        w.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        finishRun(w);
        QTest::qWait(500);
        QCOMPARE(service.sent.size(), 1);
        bus.unregisterObject("/org/freedesktop/Notifications");
        bus.unregisterService("org.freedesktop.Notifications");
    }

private:
    static void finishRun(WindowFixture& w) {
        writeScript(
            w.home,
            script({out(line(
                R"({"event": "complete", "output": "/r", "pages": [{"page": 1, "file": "a.pdf", "regions": 1}]})"))}));
        w.model().select(fileUrls({"/o/a.pdf"}), true);
        w.model().select(fileUrls({"/n/a.pdf"}), false);
        w.model().start();
        QVERIFY(w.model().running());
        QVERIFY(settles(w.model()));
        settleWindow();
    }
};

QTEST_MAIN(NotificationTest)
#include "notification_test.moc"
