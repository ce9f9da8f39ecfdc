// The main window's menus and the edit commands, and quitting while a run is going, offscreen:
// the question comes once for each close, "続ける" keeps the run, "中止して終了" stops the
// worker, which then removes its partial result folder by itself.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "window_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;
using namespace tesmira::ui;

class MenusAndQuittingTest : public QObject {
    Q_OBJECT

private slots:
    void init() { w_ = std::make_unique<WindowFixture>(); }
    void cleanup() { w_.reset(); }

    void menus() {
        QStringList titles;
        for (QAction* menu : w_->window->menuBar()->actions()) {
            QStringList items;
            for (QAction* action : menu->menu()->actions())
                items.append(action->text() + "=" + action->shortcut().toString());
            titles.append(menu->text() + ": " + items.join(", "));
        }
        QCOMPARE(
            titles,
            (QStringList{
                "てすみら: 設定…=Ctrl+,, てすみらを終了=Ctrl+Q",
                "編集: カット=Ctrl+X, コピー=Ctrl+C, ペースト=Ctrl+V, すべてを選択=Ctrl+A",
                "検版: 変更前のPDFを追加…=Ctrl+O, 変更後のPDFを追加…=Ctrl+Shift+O, =, "
                "検版を開始=Ctrl+Return, 中止=Esc",
                "表示: 拡大=Ctrl++, 縮小=Ctrl+-, 実際のサイズ=Ctrl+1, ページ全体を表示=Ctrl+0, "
                "幅に合わせる=Ctrl+2, =, 結果=Alt+1, 変更前=Alt+2, 変更後=Alt+3, 並べて表示=Alt+4, "
                "変更前と変更後を切り替え=Space, 点滅=B, =, 次の変更=N, 前の変更=Shift+N, 前へ=PgUp, 次へ=PgDown"}));
    }

    void editMenuActsOnTheFocusedField() {
        w_->window->show();
        choose(w_->find<QComboBox>("modeCombo"), 1);
        settleWindow();
        auto* name = w_->find<QLineEdit>("projectNameEdit");
        name->setText(QStringLiteral("案件名"));
        name->setFocus();
        QApplication::setActiveWindow(w_->window.get());
        QVERIFY(QTest::qWaitFor([&] { return QApplication::focusWidget() == name; }, 30000));
        menuAction(*w_->window, "すべてを選択")->trigger();
        QCOMPARE(name->selectedText(), QStringLiteral("案件名"));
        menuAction(*w_->window, "カット")->trigger();
        QCOMPARE(name->text(), QString());
        menuAction(*w_->window, "ペースト")->trigger();
        menuAction(*w_->window, "ペースト")->trigger();
        QCOMPARE(name->text(), QStringLiteral("案件名案件名"));
    }

    // Opening the run menu while no run is going leaves Esc to cancel the next run, with the fake
    // and with the real worker.
    void escapeCancelsARunStartedAfterTheRunMenuWasOpened_data() {
        QTest::addColumn<bool>("real");
        QTest::newRow("fake worker") << false;
        QTest::newRow("real worker") << true;
    }
    void escapeCancelsARunStartedAfterTheRunMenuWasOpened() {
        QFETCH(bool, real);
        w_->window->show();
        w_->window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w_->window.get()));
        QMenu* run = nullptr;
        for (QAction* menu : w_->window->menuBar()->actions())
            if (menu->text() == QStringLiteral("検版")) run = menu->menu();
        QVERIFY(run);
        run->popup(w_->window->mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(run));
        run->hide();
        settleWindow();

        if (real) {
            chooseARealPairThatTakesLong();
        } else {
            writeScript(w_->home, script({out(line(R"({"event": "start", "total": 2})")), waitForTerm()}));
            w_->model().select(fileUrls({"/o/a.pdf"}), true);
            w_->model().select(fileUrls({"/n/a.pdf"}), false);
        }
        settleWindow();
        w_->find<QPushButton>("startButton")->click();
        QVERIFY(w_->model().running());
        settleWindow();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w_->window.get(), Qt::Key_Escape);
        QCOMPARE(w_->model().status(), QStringLiteral("中止しています…"));
        QVERIFY(settles(w_->model()));
        QCOMPARE(w_->model().status(), QStringLiteral("中止しました。未完成の結果は保存しません。"));
    }

    void quitting() {
        // No run: no question.
        w_->window->show();
        QVERIFY(w_->window->close());
        QCOMPARE(w_->questions, 0);

        w_->startWaitingRun();
        QVERIFY(QTest::qWaitFor([&] { return w_->model().status() == "全2ページを比較します"; }, 60000));
        // "続ける": closing the window is refused, and the run goes on.
        w_->answer = false;
        w_->window->show();
        QVERIFY(!w_->window->close());
        QVERIFY(w_->window->isVisible());
        QCOMPARE(w_->questions, 1);
        QVERIFY(!w_->window->close());
        QCOMPARE(w_->questions, 2);
        QVERIFY(w_->model().running());
        QVERIFY(signalRecord(w_->home).isEmpty());
        // "中止して終了": SIGTERM, and the window closes without waiting.
        w_->answer = true;
        QVERIFY(w_->window->close());
        QCOMPARE(w_->model().status(), QStringLiteral("中止しています…"));
        QVERIFY(QTest::qWaitFor([&] { return signalRecord(w_->home) == "SIGTERM\n"; }, 60000));
    }

    // "中止して終了" with the real worker: the application goes at once, and the worker, left
    // to itself, removes its partial result folder.
    void quittingDuringARealRunLeavesNothingBehind() {
        chooseARealPairThatTakesLong();
        w_->model().start();
        const QDir downloads(w_->home.downloads());
        const auto entries = [&] {
            return downloads.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        QVERIFY(QTest::qWaitFor([&] { return w_->model().status().contains("ページを検版中") && !entries().isEmpty(); },
                                60000));
        w_->answer = true;
        QVERIFY(w_->window->close());
        w_->window.reset();  // the application ends without waiting for the worker
        QVERIFY(QTest::qWaitFor([&] { return entries().isEmpty(); }, 30000));
    }

private:
    // The real worker, and a pair whose pages after the first draw without end: a run over it
    // is still going when the test stops it.
    void chooseARealPairThatTakesLong() {
        const QString old = w_->home.scratch() + "/a.pdf", now = w_->home.scratch() + "/b/a.pdf";
        writeSampleThenEndlessPdf(old, 1, 7, 0, 595, 842);
        writeSampleThenEndlessPdf(now, 1, 7, 1, 595, 842);
        w_->model().workerProgram = TESMIRA_WORKER;
        w_->model().select({fileUrl(old)}, true);
        w_->model().select({fileUrl(now)}, false);
    }

    std::unique_ptr<WindowFixture> w_;
};

QTEST_MAIN(MenusAndQuittingTest)
#include "menus_and_quitting_test.moc"
