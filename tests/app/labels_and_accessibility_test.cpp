// What the window shows and reads out of its texts: labels that keep to their lines, also
// for a message of a million characters, the whole text for a screen reader, scroll areas
// that answer it safely, and Qt's own panels in the desktop's language.
#include <QAccessible>
#include <QScrollArea>
#include <QTest>

#include "app/ui/application.hpp"
#include "app/ui/line_limited_label.hpp"
#include "window_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;
using namespace tesmira::ui;

namespace {

// Counts the layout requests that reach one widget.
class LayoutRequests : public QObject {
public:
    explicit LayoutRequests(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) ++count;
        return false;
    }
};

}  // namespace

class LabelsAndAccessibilityTest : public QObject {
    Q_OBJECT

private slots:
    void init() { w_ = std::make_unique<WindowFixture>(); }
    void cleanup() { w_.reset(); }

    void labelKeepsToItsLines() {
        LineLimitedLabel label(2);
        label.resize(120, 200);
        const QString sentence =
            QStringLiteral("とても長い状態の文章がここに入り、四行を超えて続いていきます。さらに続きます。");
        label.setFullText(sentence);
        QCOMPARE(label.text().count('\n'), 1);
        QVERIFY(label.text().endsWith(QStringLiteral("…")));
        // Assistive technology gets the text as it was given, not as it is wrapped and cut.
        QCOMPARE(accessibleName(&label), sentence);
        label.setFullText(QStringLiteral("短い"));
        QCOMPARE(label.text(), QStringLiteral("短い"));
        label.setFullText(QStringLiteral("一\n二\n三"));
        QCOMPARE(label.text(), QStringLiteral("一\n二…"));
    }

    // The status and the result title as a screen reader reads them in the window.
    void wrappedLabelsReadWhole() {
        const QString message = QStringLiteral("ここにとても長い失敗の説明が入ります。").repeated(6);
        w_->model().setError(message);
        w_->window->resize(1080, 760);
        settleWindow();
        w_->window->grab();
        QVERIFY(status()->text().contains('\n'));
        QCOMPARE(accessibleName(status()), QStringLiteral("新旧のPDFを選んでください\n") + message);
    }

    // A message of a million characters shows as its first lines, reads whole, and a refresh
    // that keeps the text lays nothing out again.
    void longMessageSettles() {
        w_->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w_->window.get()));
        const QString message(1000000, QChar(0x3042));
        w_->model().setError(message);
        settleWindow();
        QCOMPARE(status()->text().count('\n'), 3);
        QVERIFY(status()->text().endsWith(QStringLiteral("…")));
        QCOMPARE(accessibleName(status()), QStringLiteral("新旧のPDFを選んでください\n") + message);
        LayoutRequests requests(w_->find("actionsColumn"));  // where the status is laid out
        w_->model().setError(message);                       // the same text once more
        settleWindow();
        QCOMPARE(requests.count, 0);
    }

    // A screen reader asks for children by index; the count must not change under it when a
    // scroll bar comes or goes, and an index past the end must be answered, not followed.
    void scrollAreasAnswerAssistiveTechnologySafely() {
        for (const char* name : {"inputScrollArea", "preview"}) {
            auto* area = w_->find<QAbstractScrollArea>(name);
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(area);
            QVERIFY(face);
            const int count = face->childCount();
            area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            area->show();
            QCOMPARE(face->childCount(), count);
            QCOMPARE(face->child(count + 3), nullptr);
            QCOMPARE(face->child(-1), nullptr);
            area->hide();
        }
    }

    // Qt's own panels speak the desktop's language.
    void qtTranslationsForJapanese() {
        QVERIFY(installQtTranslations(QLocale(QLocale::Japanese, QLocale::Japan)));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Open"), QStringLiteral("開く"));
        QVERIFY(!installQtTranslations(QLocale(QLocale::Zulu)));
    }

private:
    LineLimitedLabel* status() const { return w_->find<LineLimitedLabel>("statusLabel"); }

    std::unique_ptr<WindowFixture> w_;
};

QTEST_MAIN(LabelsAndAccessibilityTest)
#include "labels_and_accessibility_test.moc"
