// The window on a real display (run under Xvfb): a comparison started from the window with
// the real worker, from the drop of the files to the result page in the preview, and the
// file dialog of the add buttons.
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPdfDocument>
#include <QPdfPageNavigator>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include "app/ui/result_preview.hpp"

#include "app/model/file_names.hpp"
#include "app/ui/application.hpp"
#include "app/ui/line_limited_label.hpp"
#include "app/ui/pdf_drop_card.hpp"
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
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(window.winId()), QStringLiteral("_NET_WM_NAME")});
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
        window_ = std::make_unique<MainWindow>();
        model().workerProgram = TESMIRA_WORKER;
        window_->show();
        window_->activateWindow();  // as the operator's window is when keys reach it
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    }
    void cleanup() {
        window_.reset();
        home_.reset();
    }

    // On a 1440 × 900 screen the window opens with a 1080 × 740 content, and no smaller
    // than 900 × 560 it can be made.
    void windowSize() {
        QCOMPARE(window_->centralWidget()->size(), QSize(1080, 740));
        window_->resize(400, 300);
        QVERIFY(QTest::qWaitFor([&] { return window_->centralWidget()->width() <= 900; }, 30000));
        QCOMPARE(window_->centralWidget()->size(), QSize(900, 560));
    }

    // Exactly the titles, without the application's name that Qt can append on X11.
    void titlesOnTheDisplay() {
        QCOMPARE(titleOnTheDisplay(*window_),
                 QStringLiteral("てすみら v1.0.0（") + QSysInfo::buildCpuArchitecture() + "）");
        model().showSettings();
        const QList<SettingsWindow*> windows = settingsWindows();
        QCOMPARE(windows.size(), 1);
        SettingsWindow* settings = windows.first();
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
        model().workerProgram = TESMIRA_FAKE_WORKER;
        writeScript(*home_, script({out("{\"event\": \"start\", \"total\": 2}\n"), waitForTerm()}));
        model().select({fileUrl("/o/a.pdf")}, true);
        model().select({fileUrl("/n/a.pdf")}, false);
        model().start();
        QVERIFY(QTest::qWaitFor([&] { return model().status() == "全2ページを比較します"; }, 60000));
        QuestionAnswerer answerer(answer);
        const bool stop = answer == "中止して終了";
        QTimer::singleShot(0, [&] {
            QMainWindow* window = window_.get();
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
            QVERIFY(!window_->isVisible());
            QVERIFY(QTest::qWaitFor([&] { return signalRecord(*home_) == "SIGTERM\n"; }, 30000));
        } else {
            QCOMPARE(status, 7);
            QVERIFY(window_->isVisible());
            QVERIFY(model().running());
            QVERIFY(signalRecord(*home_).isEmpty());
            model().cancel();
        }
        QVERIFY(settles(model()));
    }

    void comparisonFromTheWindow() {
        const QString old = home_->scratch() + "/旧版/見本 1.pdf", now = home_->scratch() + "/新版/見本 1.pdf";
        writeSamplePdf(old, 2, 0, 300, 200);
        writeSamplePdf(now, 2, 3, 300, 200);
        model().settings().setDpi(144);
        auto* beforeCard = find<PdfDropCard>("beforeCard");
        QCOMPARE(dragAndDrop(beforeCard, {fileUrl(old)}), std::make_pair(true, true));
        QCOMPARE(dragAndDrop(find<PdfDropCard>("afterCard"), {fileUrl(now)}), std::make_pair(true, true));
        settleWindow();
        QCOMPARE(child<QLabel>(*beforeCard, "countLabel")->text(), QStringLiteral("1件"));
        auto* startButton = find<QPushButton>("startButton");
        QVERIFY(startButton->isEnabled());
        QTest::mouseClick(startButton, Qt::LeftButton);
        QVERIFY(model().running());
        QVERIFY(settles(model()));
        settleWindow();
        QVERIFY2(!model().error(), qPrintable(model().error().value_or("")));
        QCOMPARE(find<LineLimitedLabel>("statusLabel")->fullText(),
                 QStringLiteral("2ページ完了・1件のPDFをダウンロードに保存しました"));

        // Page 1 of the result PDF is in the preview, and it is drawn: its red outlines show.
        const ProofPage& first = model().results()[0];
        auto* preview = find<ResultPreview>("preview");
        QVERIFY(preview->document() && preview->document()->status() == QPdfDocument::Status::Ready);
        QPdfDocument result;
        QCOMPARE(result.load(filePath(*model().output()) + "/" + first.file), QPdfDocument::Error::None);
        QCOMPARE(preview->document()->pageCount(), result.pageCount());
        QCOMPARE(preview->document()->pagePointSize(0), result.pagePointSize(0));
        QCOMPARE(preview->document()->pageCount(), 2);
        QCOMPARE(preview->currentPage(), 0);
        QVERIFY(!find("emptyPreviewLabel")->isVisible());
        QVERIFY(QTest::qWaitFor([&] { return redPixels(preview->viewport()->grab().toImage()) > 20; }, 60000));
        QCOMPARE(find<LineLimitedLabel>("resultTitleLabel")->fullText(),
                 QStringLiteral("1 / 2\u3000見本 1.pdf\u30001ページ\u3000") + QString::number(first.regions) + "か所");
        QVERIFY(model().before().isEmpty() && model().after().isEmpty());

        // The keys are the preview's; the change list holds the changed pages' changes, and a click
        // on one goes there and leaves the keys with the preview.
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(preview));
        auto* changes = find<QListView>("changeList");
        QVERIFY(changes->model()->rowCount() > 0);
        const int last = changes->model()->rowCount() - 1;
        const QModelIndex row = changes->model()->index(last, 0);
        changes->scrollTo(row);
        QTest::mouseClick(changes->viewport(), Qt::LeftButton, {}, changes->visualRect(row).center());
        settleWindow();
        const ChangeStop& stop = model().changes().stop(last);
        QCOMPARE(preview->mark(), std::optional(stop.change.box));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(preview));
        QTest::keyClick(preview, Qt::Key_Space);
        QCOMPARE(preview->showing(), ResultPreview::Showing::Before);

        QTest::mouseClick(find<QPushButton>("previousButton"), Qt::LeftButton);
        QTest::mouseClick(find<QPushButton>("nextButton"), Qt::LeftButton);
        QCOMPARE(preview->currentPage(), 1);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(preview));
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
        QTest::mouseClick(child<QPushButton>(*find<PdfDropCard>("beforeCard"), "addButton"), Qt::LeftButton);
        QCOMPARE(caption, QStringLiteral("変更前のPDFをまとめて選択（追加）"));
        QCOMPARE(model().before(), QList<QUrl>{fileUrl(pdf)});
    }

private:
    std::unique_ptr<TestHome> home_;
    ProofModel& model() { return window_->model(); }
    template <typename T = QWidget>
    T* find(const QString& name) const {
        return child<T>(*window_, name);
    }

    std::unique_ptr<MainWindow> window_;
};

QTEST_MAIN(WindowXvfbTest)
#include "window_xvfb_test.moc"
