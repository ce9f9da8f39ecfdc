// The settings window: reading the number fields, the ranges and the order of saving, one
// window that comes back as it was left, and the reset to the defaults.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <limits>

#include "app/ui/setting_integer.hpp"
#include "window_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;
using namespace tesmira::ui;

class SettingsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { w_ = std::make_unique<WindowFixture>(); }
    void cleanup() { w_.reset(); }

    void settingsParsing_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<bool>("parsed");
        QTest::newRow("digits") << "255" << qint64(255) << true;
        QTest::newRow("plus sign") << "+5" << qint64(5) << true;
        QTest::newRow("minus sign") << "-1" << qint64(-1) << true;
        QTest::newRow("leading zeros") << "007" << qint64(7) << true;
        QTest::newRow("largest") << "9223372036854775807" << std::numeric_limits<qint64>::max() << true;
        QTest::newRow("smallest") << "-9223372036854775808" << std::numeric_limits<qint64>::min() << true;
        QTest::newRow("too large") << "9223372036854775808" << qint64(0) << false;
        QTest::newRow("leading space") << " 5" << qint64(0) << false;
        QTest::newRow("trailing space") << "5 " << qint64(0) << false;
        QTest::newRow("fraction") << "5.0" << qint64(0) << false;
        QTest::newRow("empty") << "" << qint64(0) << false;
        QTest::newRow("sign only") << "+" << qint64(0) << false;
        QTest::newRow("letters") << "abc" << qint64(0) << false;
        QTest::newRow("full-width digits") << "５" << qint64(0) << false;
        QTest::newRow("two signs") << "+-5" << qint64(0) << false;
    }
    void settingsParsing() {
        QFETCH(QString, text);
        QFETCH(qint64, value);
        QFETCH(bool, parsed);
        const auto result = parseSettingInteger(text);
        QCOMPARE(result.has_value(), parsed);
        if (parsed) QCOMPARE(*result, value);
    }

    void settingsRanges_data() {
        QTest::addColumn<QString>("tolerance");
        QTest::addColumn<QString>("opacity");
        QTest::addColumn<QString>("border");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("lowest") << "0"
                                << "0"
                                << "1" << true;
        QTest::newRow("highest") << "255"
                                 << "100"
                                 << "6" << true;
        QTest::newRow("plus sign") << "+5"
                                   << "+50"
                                   << "+3" << true;
        QTest::newRow("tolerance 256") << "256"
                                       << "10"
                                       << "2" << false;
        QTest::newRow("opacity 101") << "1"
                                     << "101"
                                     << "2" << false;
        QTest::newRow("border 0") << "1"
                                  << "10"
                                  << "0" << false;
        QTest::newRow("border 7") << "1"
                                  << "10"
                                  << "7" << false;
        QTest::newRow("minus one") << "-1"
                                   << "10"
                                   << "2" << false;
        QTest::newRow("letters") << "abc"
                                 << "10"
                                 << "2" << false;
        QTest::newRow("empty") << "1"
                               << ""
                               << "2" << false;
        QTest::newRow("leading space") << " 5"
                                       << "10"
                                       << "2" << false;
        QTest::newRow("fraction") << "5.0"
                                  << "10"
                                  << "2" << false;
    }
    void settingsRanges() {
        QFETCH(QString, tolerance);
        QFETCH(QString, opacity);
        QFETCH(QString, border);
        QFETCH(bool, accepted);
        w_->model().showSettings();
        SettingsWindow* window = theSettingsWindow();
        QVERIFY(window && window->isVisible());
        QStringList alerts;
        window->setAlert([&](const QString& message) { alerts.append(message); });
        child<QComboBox>(*window, "resolutionCombo")->setCurrentIndex(1);
        edit(window, "toleranceEdit")->setText(tolerance);
        edit(window, "opacityEdit")->setText(opacity);
        edit(window, "borderEdit")->setText(border);
        child<QCheckBox>(*window, "noiseCheck")->setChecked(true);
        QList<Json> seen;
        connect(&w_->model().settings(), &ProofSettings::willChange, [&] {
            seen.append(w_->model().settings().dictionary());
        });
        child<QPushButton>(*window, "saveButton")->click();
        if (!accepted) {
            QCOMPARE(alerts, QStringList{"設定値の範囲を確認してください。"});
            QVERIFY(seen.isEmpty());
            QVERIFY(!QFile::exists(ProofSettings::settingsFile()));
            QVERIFY(window->isVisible());
            QCOMPARE(edit(window, "toleranceEdit")->text(), tolerance);  // left as typed
            return;
        }
        QVERIFY(alerts.isEmpty());
        QVERIFY(!window->isVisible());
        QCOMPARE(seen.size(), 7);  // one assignment per setting
        seen.append(w_->model().settings().dictionary());
        const char* order[] = {"dpi", "tolerance", "opacity", "border", "stamp", "tiny_markers", "grain"};
        for (int i = 0; i < 7; ++i)
            for (const auto& [key, value] : seen[i].items())
                if (seen[i + 1][key] != value) QCOMPARE(QString(key.c_str()), QString(order[i]));
        QCOMPARE(w_->model().settings().dpi(), 200);
        QCOMPARE(w_->model().settings().tolerance(), parseSettingInteger(tolerance).value());
        QVERIFY(w_->model().settings().noise());
    }

    void settingsWindowIsOneAndComesBackAsLeft() {
        w_->model().settings().setDpi(150);
        w_->window->showSettings();
        SettingsWindow* window = theSettingsWindow();
        QVERIFY(window);
        QCOMPARE(child<QComboBox>(*window, "resolutionCombo")->currentText(), QStringLiteral("300 dpi（標準）"));
        edit(window, "toleranceEdit")->setText("42");
        window->close();
        QVERIFY(!window->isVisible());
        // Opened again, from the menu and while a run is going: the same window, as it was left.
        writeScript(w_->home, script({waitForTerm()}));
        w_->model().select(fileUrls({"/o/a.pdf"}), true);
        w_->model().select(fileUrls({"/n/a.pdf"}), false);
        w_->model().start();
        QAction* settings = menuAction(*w_->window, "設定…");
        QVERIFY(settings);
        QCOMPARE(settings->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        settings->trigger();
        QCOMPARE(theSettingsWindow(), window);
        QVERIFY(window->isVisible());
        QCOMPARE(edit(window, "toleranceEdit")->text(), QStringLiteral("42"));
        QCOMPARE(w_->model().settings().tolerance(), 1);
        // Saving with the unknown resolution shown stores 300.
        child<QPushButton>(*window, "saveButton")->click();
        QCOMPARE(w_->model().settings().dpi(), 300);
        QCOMPARE(w_->model().settings().tolerance(), 42);
    }

    void settingsResetReplacesTheWindow() {
        w_->model().settings().setOpacity(70);
        w_->model().settings().setNoise(true);
        w_->window->showSettings();
        QPointer<SettingsWindow> old(theSettingsWindow());
        QVERIFY(old);
        edit(old, "opacityEdit")->setText("55");
        child<QPushButton>(*old, "defaultsButton")->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!old);  // the old window is gone
        SettingsWindow* fresh = theSettingsWindow();
        QVERIFY(fresh && fresh->isVisible());
        QCOMPARE(edit(fresh, "opacityEdit")->text(), QStringLiteral("10"));
        QVERIFY(!child<QCheckBox>(*fresh, "noiseCheck")->isChecked() &&
                child<QCheckBox>(*fresh, "stampCheck")->isChecked());
        QCOMPARE(child<QComboBox>(*fresh, "resolutionCombo")->currentIndex(), 2);
        QCOMPARE(w_->model().settings().opacity(), 10);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY((fresh->geometry().center() - area.center()).manhattanLength() <= 2);
    }

private:
    // The one settings window, none when there is none or more than one.
    static SettingsWindow* theSettingsWindow() {
        const QList<SettingsWindow*> windows = settingsWindows();
        return windows.size() == 1 ? windows.first() : nullptr;
    }
    static QLineEdit* edit(const QWidget* window, const char* name) { return child<QLineEdit>(*window, name); }

    std::unique_ptr<WindowFixture> w_;
};

QTEST_MAIN(SettingsWindowTest)
#include "settings_window_test.moc"
