// Every wrapped label of the window shows all its lines: its height holds the text as it is laid
// out at its width, in the fonts the desktop's language brings (ctest runs this under a Japanese
// and under the C locale), on a laptop's screen and on a large one.
#include <QLabel>
#include <QTest>

#include "window_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;

namespace {

// The height the label's text takes, wrapped at the label's width, in pixels.
int laidOutHeight(const QLabel& label) {
    const QRect room = label.contentsRect();
    return label.fontMetrics()
        .boundingRect(QRect(0, 0, std::max(room.width(), 1), 100000),
                      Qt::TextWordWrap | int(label.alignment() & Qt::AlignHorizontal_Mask),
                      label.text())
        .height();
}

}  // namespace

class WrappedLabelsTest : public QObject {
    Q_OBJECT

private slots:
    void everyLineShows_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<bool>("results");
        for (const QSize screen : {QSize(1280, 800), QSize(1600, 1000)}) {
            const QString size = QString::number(screen.width()) + "x" + QString::number(screen.height());
            QTest::newRow(qPrintable(size + ", empty")) << screen << false;
            QTest::newRow(qPrintable(size + ", after a run")) << screen << true;
        }
    }

    void everyLineShows() {
        QFETCH(QSize, screen);
        QFETCH(bool, results);
        WindowFixture w;
        if (results) {
            w.model().receive(Json::parse(
                R"({"event": "complete", "output": "/nowhere", "pages": [{"page": 1, "file": "a.pdf", "regions": 2}]})"));
            w.model().setError(QStringLiteral("同名の相手が見つかりません。\n変更前だけ: a.pdf\n変更後だけ: b.pdf"));
        }
        const QSize content = ui::contentSize(screen);
        w.window->resize(content);
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        settleWindow();
        w.window->showSettings();
        QWidget* settings = settingsWindows().value(0);
        QVERIFY(settings && QTest::qWaitForWindowExposed(settings));
        settleWindow();
        for (QWidget* window : {static_cast<QWidget*>(w.window.get()), settings}) checkLabels(*window);
    }

private:
    static void checkLabels(const QWidget& window) {
        for (QLabel* label : window.findChildren<QLabel*>()) {
            if (!label->wordWrap() || !label->isVisibleTo(&window) || label->text().isEmpty()) continue;
            QVERIFY2(label->contentsRect().height() >= laidOutHeight(*label),
                     qPrintable(QStringLiteral("%1: %2 of %3 pixels for \"%4\" (%5)")
                                    .arg(label->objectName())
                                    .arg(label->contentsRect().height())
                                    .arg(laidOutHeight(*label))
                                    .arg(label->text(), label->font().family())));
        }
    }
};

QTEST_MAIN(WrappedLabelsTest)
#include "wrapped_labels_test.moc"
