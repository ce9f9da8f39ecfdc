// The window on a real display (run under Xvfb): a comparison started from the window with
// the real worker, from the drop of the files to the result page in the preview, and the
// file dialog of the add buttons.
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QPdfDocument>
#include <QPdfPageNavigator>
#include <QPdfView>
#include <QTest>
#include <QTimer>

#include "app/ui/application.hpp"
#include "app/ui/control_kit.hpp"
#include "app/ui/drop_card.hpp"
#include "app/ui/settings_window.hpp"
#include "window_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;
using namespace tesmira::ui;

namespace {

// Pixels of the outline red in an image of the preview.
int redPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 190 && c.green() < 90 && c.blue() < 90) ++count;
        }
    return count;
}

// The title that the window system holds for a window, as a window manager reads it.
QString titleOnTheDisplay(const QWidget& window) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window.winId()), QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(30000)) return QStringLiteral("<xprop did not answer>");
    const QString reply = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
    const qsizetype quote = reply.indexOf(QLatin1Char('"'));
    return quote < 0 ? reply : reply.mid(quote + 1).chopped(1);
}

// Answers every question box that comes up with the button `answer`, and counts the boxes.
class QuestionAnswerer : public QObject {
public:
    explicit QuestionAnswerer(const QString& answer) : answer_(answer) {
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == last_) return;
            last_ = box;
            texts_.append(box->text());
            for (QAbstractButton* button : box->buttons())
                if (button->text() == answer_) QTimer::singleShot(0, button, &QAbstractButton::click);
        });
        timer_.start(50);
    }
    const QStringList& questions() const { return texts_; }

private:
    QString answer_;
    QTimer timer_;
    QPointer<QMessageBox> last_;
    QStringList texts_;
};

}  // namespace

class WindowXvfbTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(QGuiApplication::platformName() == "xcb", qPrintable(QGuiApplication::platformName()));
        setUpApplication();
    }
    void init() {
        home_ = std::make_unique<TestHome>();
        d_ = std::make_unique<DezaroziDelegate>();
        d_->model.workerProgram = TESMIRA_WORKER;
        d_->createWindow(true);
        QVERIFY(QTest::qWaitForWindowExposed(d_->window.get()));
    }
    void cleanup() {
        d_.reset();
        home_.reset();
    }

    // On a 1440 × 900 screen the window opens with a 1080 × 740 content, and no smaller
    // than 900 × 560 it can be made.
    void windowSize() {
        QCOMPARE(d_->window->centralWidget()->size(), QSize(1080, 740));
        d_->window->resize(400, 300);
        QVERIFY(QTest::qWaitFor([&] { return d_->window->centralWidget()->width() <= 900; }, 5000));
        QCOMPARE(d_->window->centralWidget()->size(), QSize(900, 560));
    }

    // Exactly the titles, without the application's name that Qt can append on X11.
    void titlesOnTheDisplay() {
        QCOMPARE(titleOnTheDisplay(*d_->window), QStringLiteral("てすみら v1.0.0（") + QSysInfo::buildCpuArchitecture() + "）");
        d_->model.showSettings();
        DezaroziSettings* settings = DezaroziSettings::instance();
        QVERIFY(settings && QTest::qWaitForWindowExposed(settings));
        QCOMPARE(titleOnTheDisplay(*settings), QStringLiteral("てすみらの設定"));
    }

    // Quitting during a run, by the shortcut, the menu or the window's close: one question;
    // "中止して終了" stops the worker and ends the application at once, "続ける" keeps both.
    void quittingDuringARun_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("answer");
        for (const char* way : {"shortcut", "menu", "close"}) {
            QTest::addRow("%s, stop", way) << way << "中止して終了";
            QTest::addRow("%s, go on", way) << way << "続ける";
        }
    }
    void quittingDuringARun() {
        QFETCH(QString, way);
        QFETCH(QString, answer);
        d_->model.workerProgram = TESMIRA_FAKE_WORKER;
        writeScript(*home_, script({out("{\"event\": \"start\", \"total\": 2}\n"), waitForTerm()}));
        d_->model.select({fileUrl("/o/a.pdf")}, true);
        d_->model.select({fileUrl("/n/a.pdf")}, false);
        d_->model.start();
        QVERIFY(QTest::qWaitFor([&] { return d_->model.status() == "全2ページを比較します"; }, 60000));
        QuestionAnswerer answerer(answer);
        const bool stop = answer == "中止して終了";
        QTimer::singleShot(0, [&] {
            QMainWindow* window = d_->window.get();
            if (way == "shortcut") {
                QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
            } else if (way == "menu") {
                QMenuBar* bar = window->menuBar();
                QAction* menu = bar->actions().first();
                QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu).center());
                QMenu* items = menu->menu();
                if (!QTest::qWaitForWindowExposed(items)) return;
                QAction* quit = items->actions().last();
                QTest::mouseClick(items, Qt::LeftButton, {}, items->actionGeometry(quit).center());
            } else {
                window->windowHandle()->close();
            }
            // Had the application gone on, it leaves its loop here.
            if (!stop) QTimer::singleShot(1500, [] { QCoreApplication::exit(7); });
        });
        QTimer::singleShot(60000, [] { QCoreApplication::exit(1); });  // only against a hang
        const int status = QCoreApplication::exec();
        QCOMPARE(answerer.questions(), QStringList{"検版を中止して終了しますか？"});
        if (stop) {
            QCOMPARE(status, 0);  // the last window closed, and the application quit
            QVERIFY(!d_->window->isVisible());
            QVERIFY(QTest::qWaitFor([&] { return signalRecord(*home_) == "SIGTERM\n"; }, 30000));
        } else {
            QCOMPARE(status, 7);
            QVERIFY(d_->window->isVisible());
            QVERIFY(d_->model.running());
            QVERIFY(signalRecord(*home_).isEmpty());
            d_->model.cancel();
        }
        QVERIFY(settles(d_->model));
    }

    void comparisonFromTheWindow() {
        const QString old = home_->scratch() + "/旧版/見本 1.pdf", now = home_->scratch() + "/新版/見本 1.pdf";
        writeSamplePdf(old, 2, 0, 300, 200);
        writeSamplePdf(now, 2, 3, 300, 200);
        d_->model.settings().setDpi(144);
        QCOMPARE(dragAndDrop(d_->beforeCard, {fileUrl(old)}), std::make_pair(true, true));
        QCOMPARE(dragAndDrop(d_->afterCard, {fileUrl(now)}), std::make_pair(true, true));
        settleWindow();
        QCOMPARE(d_->beforeCard->count->text(), QStringLiteral("1件"));
        QVERIFY(d_->startButton->isEnabled());
        QTest::mouseClick(d_->startButton, Qt::LeftButton);
        QVERIFY(d_->model.running());
        QVERIFY(settles(d_->model));
        settleWindow();
        QVERIFY2(!d_->model.error(), qPrintable(d_->model.error().value_or("")));
        QCOMPARE(d_->status->fullText(), QStringLiteral("2ページ完了・1件のPDFをダウンロードに保存しました"));

        // Page 1 of the result PDF is in the preview, and it is drawn: its red outlines show.
        const ProofPage& first = d_->model.results()[0];
        QCOMPARE(d_->previewKey, first.file + "#1");
        QVERIFY(d_->pdf->document() && d_->pdf->document()->status() == QPdfDocument::Status::Ready);
        QCOMPARE(d_->pdf->document()->pageCount(), 2);
        QCOMPARE(d_->pdf->pageNavigator()->currentPage(), 0);
        QVERIFY(!d_->emptyPreview->isVisible());
        QVERIFY(QTest::qWaitFor([&] { return redPixels(d_->pdf->viewport()->grab().toImage()) > 20; }, 10000));
        QCOMPARE(d_->resultTitle->fullText(), QStringLiteral("1 / 2\u3000見本 1.pdf\u30001ページ\u3000") + QString::number(first.regions) + "か所");
        QVERIFY(d_->model.before().isEmpty() && d_->model.after().isEmpty());

        QTest::mouseClick(d_->next, Qt::LeftButton);
        QCOMPARE(d_->pdf->pageNavigator()->currentPage(), 1);
    }

    void addButtonOpensTheFileDialog() {
        const QString pdf = home_->scratch() + "/選ぶ.pdf";
        writeSamplePdf(pdf, 1);
        QString caption;
        QTimer answer;
        int tries = 0;
        connect(&answer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (dialog) {
                caption = dialog->windowTitle();
                // Typed into the dialog's name field, as a user would.
                auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (field) field->setText(pdf);
                QMetaObject::invokeMethod(dialog, "accept");
            } else if (modal && ++tries > 100) {
                modal->close();  // not the dialog we expected: give up rather than hang
            }
        });
        answer.start(100);
        QTest::mouseClick(d_->beforeCard->add, Qt::LeftButton);
        QCOMPARE(caption, QStringLiteral("変更前のPDFをまとめて選択（追加）"));
        QCOMPARE(d_->model.before(), QList<QUrl>{fileUrl(pdf)});
    }

private:
    std::unique_ptr<TestHome> home_;
    std::unique_ptr<DezaroziDelegate> d_;
};

QTEST_MAIN(WindowXvfbTest)
#include "window_xvfb_test.moc"
