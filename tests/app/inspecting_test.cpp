// Inspecting a run's changes in the window: zoom and pan, the steps from change to change over
// pages and files, the old and the new page beside the result, every key, and the tab order.
#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include "app/ui/change_crops.hpp"
#include "fixtures/pdf_builder.hpp"
#include "window_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;
using namespace tesmira::ui;

namespace {

// A page report with its regions' boxes, as the worker writes them (below a band of 40 pixels),
// and the changes when it lists them.
Json report(const QString& file, int page, const QString& source, const QList<QRect>& boxes,
            const Json& changes = nullptr) {
    Json record{{"page", page},
                {"file", file.toStdString()},
                {"strict_file", nullptr},
                {"regions", boxes.size()},
                {"changed_percent", 0.5},
                {"source_name", source.toStdString()}};
    record["boxes"] = Json::array();
    for (const QRect& box : boxes)
        record["boxes"].push_back({{"x", box.x()}, {"y", box.y()}, {"width", box.width()}, {"height", box.height()}});
    record["boxes_truncated"] = false;
    record["header_height"] = 40;
    if (!changes.is_null()) {
        record["changes_left_out"] = 0;
        record["changes"] = changes;
    }
    return record;
}

// A change as the worker lists it, with its words.
Json change(const QRect& box, double left, double top, const char* oldSpan, const char* newSpan) {
    return {{"box", {box.x(), box.y(), box.width(), box.height()}},
            {"box_mm", {left, top, 2.0, 3.0}},
            {"regions", 1},
            {"old_text", oldSpan},
            {"new_text", newSpan},
            {"old_span", oldSpan},
            {"new_span", newSpan}};
}

// The image the preview shows now, with the panes' labels painted over in one colour.
QImage shown(ResultPreview* preview) {
    QImage image = preview->viewport()->grab().toImage();
    for (qsizetype pane = 0; pane < preview->paneCount(); ++pane)
        if (const std::optional<QRect> label = preview->paneLabelRect(pane)) {
            QPainter painter(&image);
            painter.fillRect(*label, Qt::magenta);
        }
    return image;
}

}  // namespace

class InspectingTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        w_ = std::make_unique<WindowFixture>();
        w_->window->resize(1080, 740);
        w_->window->show();
        w_->window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w_->window.get()));
    }
    void cleanup() { w_.reset(); }

    void zoomFollowsTheKeysTheWheelAndTheFits() {
        finishFakeRun();
        ResultPreview* view = preview();
        QCOMPARE(view->fit(), PageView::Fit::Page);
        const double fitted = view->zoomPercent();
        QVERIFY(fitted > 10 && fitted < 100);
        const auto nextStep = [](double from) {
            return *std::find_if(PageView::ZOOM_STEPS.begin(), PageView::ZOOM_STEPS.end(), [&](double step) {
                return step > from * 1.001;
            });
        };
        key(Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(view->zoomPercent(), nextStep(fitted));
        const double once = view->zoomPercent();
        key(Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(view->zoomPercent(), nextStep(once));
        key(Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(view->zoomPercent(), once);
        QCOMPARE(find<QComboBox>("zoomCombo")->currentText(), QString::number(std::lround(once)) + "%");
        key(Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(view->zoomPercent(), 100.0);
        key(Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(view->fit(), PageView::Fit::Width);
        QCOMPARE(view->horizontalScrollBar()->maximum(), 0);
        QVERIFY(view->verticalScrollBar()->maximum() > 0);
        key(Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(view->fit(), PageView::Fit::Page);
        QCOMPARE(view->zoomPercent(), fitted);

        // Ctrl+wheel zooms around the pointer: the page point under it stays there (once the page
        // is larger than the view, which centres a smaller one).
        view->setZoomPercent(150);
        const QPointF pointer(view->viewport()->width() * 0.3, view->viewport()->height() * 0.4);
        for (int notches : {2, 3}) {
            const QPointF before = view->pagePointAt(pointer);
            wheel(pointer, notches * 120, Qt::ControlModifier);
            QVERIFY(view->zoomPercent() > fitted);
            // Within the rounding of the scroll bars to whole view pixels.
            QVERIFY2((view->pagePointAt(pointer) - before).manhattanLength() < 4, "the point under the pointer moved");
        }
        // The wheel alone scrolls; a drag of the page pans it.
        const int top = view->verticalScrollBar()->value();
        wheel(pointer, -120, Qt::NoModifier);
        QVERIFY(view->verticalScrollBar()->value() > top);
        const QPoint scrolled(view->horizontalScrollBar()->value(), view->verticalScrollBar()->value());
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, QPoint(200, 200));
        QTest::mouseMove(view->viewport(), QPoint(170, 180));
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, QPoint(170, 180));
        QCOMPARE(QPoint(view->horizontalScrollBar()->value(), view->verticalScrollBar()->value()),
                 scrolled + QPoint(30, 20));
        // The zoom control takes a typed percentage.
        QLineEdit* typed = find<QComboBox>("zoomCombo")->lineEdit();
        typed->setFocus();
        typed->selectAll();
        QTest::keyClicks(typed, "250");
        QTest::keyClick(typed, Qt::Key_Return);
        QCOMPARE(view->zoomPercent(), 250.0);
        // Another page of the same size keeps zoom and place; the page list shows the row.
        const QPointF centre = view->centreOfView();
        key(Qt::Key_PageDown);
        QCOMPARE(view->currentPage(), 1);
        QCOMPARE(view->zoomPercent(), 250.0);
        QVERIFY((view->centreOfView() - centre).manhattanLength() < 2);
        QCOMPARE(find<QListWidget>("pageList")->currentRow(), 1);
    }

    // Stops of grouped regions, page after page and file after file; the ends stop.
    void stepsVisitEveryChangeInOrderAcrossFiles() {
        finishFakeRun();
        ResultPreview* view = preview();
        QAbstractButton* next = find<QAbstractButton>("nextChangeButton");
        QAbstractButton* previous = find<QAbstractButton>("previousChangeButton");
        QVERIFY(next->isEnabled() && !previous->isEnabled());
        const QList<std::pair<int, QRect>> expected{{0, QRect(300, 340, 90, 30)},  // three letters, one change
                                                    {0, QRect(100, 640, 20, 20)},
                                                    {2, QRect(250, 440, 40, 40)}};
        for (qsizetype i = 0; i < expected.size(); ++i) {
            key(i % 2 ? Qt::Key_F3 : Qt::Key_N);
            QCOMPARE(view->currentPage(), expected[i].first == 2 ? 0 : expected[i].first);
            QCOMPARE(find<QListWidget>("pageList")->currentRow(), expected[i].first);
            QCOMPARE(view->mark(), std::optional(expected[i].second));
            QVERIFY(view->zoomPercent() <= PageView::AREA_PERCENT_LIMIT + 0.01);
            const QRectF inView(view->pagePointAt(QPointF(0, 0)),
                                view->pagePointAt(QPointF(view->viewport()->width(), view->viewport()->height())));
            QVERIFY(inView.contains(expected[i].second));
            QVERIFY(expected[i].second.width() * 2.5 < inView.width() ||
                    expected[i].second.height() * 2.5 < inView.height());
        }
        QVERIFY(!next->isEnabled());
        key(Qt::Key_N);  // past the last change: nothing moves
        QCOMPARE(view->mark(), std::optional(expected.last().second));
        key(Qt::Key_N, Qt::ShiftModifier);
        QCOMPARE(view->mark(), std::optional(expected[1].second));
        key(Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(view->mark(), std::optional(expected[0].second));
        QVERIFY(!previous->isEnabled());
        // From a page reached otherwise, the next change is the first on or after it.
        find<QListWidget>("pageList")->setCurrentRow(1);
        settleWindow();
        QVERIFY(!view->mark());
        next->click();
        QCOMPARE(find<QListWidget>("pageList")->currentRow(), 2);
        QCOMPARE(view->mark(), std::optional(expected[2].second));
    }

    // A second run whose pages bear the same names keeps the page shown, and steps through its
    // own changes, not the last run's, which the page list counts.
    void aRunOfTheSameNamesStepsThroughItsOwnChanges() {
        finishFakeRun();
        const QString output = w_->home.downloads() + "/てすみら検版_x";
        Json complete{{"event", "complete"}, {"output", output.toStdString()}, {"files", 2}};
        complete["pages"] = Json::array({report("検版_a.pdf", 1, "a.pdf", {{50, 50, 10, 10}, {200, 700, 10, 10}}),
                                         report("検版_a.pdf", 2, "a.pdf", {}),
                                         report("検版_b.pdf", 1, "b.pdf", {})});
        key(Qt::Key_PageDown);
        w_->model().receive(complete);
        settleWindow();
        QCOMPARE(find<QListWidget>("pageList")->currentRow(), 1);
        QCOMPARE(find<QListWidget>("pageList")->item(2)->text(), QStringLiteral("1ページ\u3000変更なし\nb.pdf"));
        key(Qt::Key_N, Qt::ShiftModifier);
        QCOMPARE(preview()->mark(), std::optional(QRect(200, 740, 10, 10)));
        QVERIFY(!find<QAbstractButton>("nextChangeButton")->isEnabled());  // file b has none now
    }

    // The change list: every change in reading order, page after page and file after file, with
    // its place and words; a click goes to the change as a step does, and the arrow keys move
    // through the list.
    void theChangeListGoesToEachChange() {
        finishFakeRun(true);
        auto* list = find<QListView>("changeList");
        QCOMPARE(accessibleName(list), QStringLiteral("変更の一覧"));
        QStringList rows;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            rows.append(list->model()->index(row, 0).data().toString());
        QCOMPARE(rows,
                 (QStringList{"a.pdf 1ページ\u300025.4, 8.5 mm\u3000「1,280」→「1,290」",
                              "a.pdf 1ページ\u300030.0, 50.0 mm\u3000「週末の」を削除",
                              "b.pdf 1ページ\u300021.2, 33.9 mm\u3000「新」を追加"}));
        QCOMPARE(find<QListWidget>("pageList")->item(0)->text(), QStringLiteral("1ページ\u30002件の変更\na.pdf"));
        QCOMPARE(find<QListWidget>("pageList")->item(1)->text(), QStringLiteral("2ページ\u3000変更なし\na.pdf"));

        const auto click = [&](int row) {
            const QRect place = list->visualRect(list->model()->index(row, 0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place.center());
            settleWindow();
        };
        click(2);
        QCOMPARE(find<QListWidget>("pageList")->currentRow(), 2);
        QCOMPARE(preview()->mark(), std::optional(QRect(250, 440, 40, 40)));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(preview()));
        QCOMPARE(list->currentIndex().row(), 2);
        // From there the steps walk the list: back to the deleted word.
        key(Qt::Key_N, Qt::ShiftModifier);
        QCOMPARE(list->currentIndex().row(), 1);
        QCOMPARE(preview()->mark(), std::optional(QRect(100, 640, 20, 20)));
        // The keys move through the list and keep it.
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Up);
        settleWindow();
        QCOMPARE(preview()->mark(), std::optional(QRect(300, 340, 90, 30)));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(list));
        // A click on the row already current goes to its change again, there in the preview.
        preview()->setZoomPercent(25);
        click(0);
        QVERIFY(preview()->zoomPercent() > 25);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(preview()));
        // A click on a page: the keys go to the preview there too.
        list->setFocus();
        QListWidget* pages = find<QListWidget>("pageList");
        QTest::mouseClick(pages->viewport(), Qt::LeftButton, {}, pages->visualItemRect(pages->item(1)).center());
        settleWindow();
        QCOMPARE(pages->currentRow(), 1);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(preview()));
    }

    // After a run and after every step the keys are the preview's; a click on any button of the
    // results leaves them there, so that Space flips the pages and presses no button.
    void theKeysStayWithThePreviewWhileInspecting() {
        finishFakeRun();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(preview()));
        QList<QUrl> revealed;
        w_->model().showInFileManager = [&](const QList<QUrl>& urls) { revealed = urls; };
        for (const char* name : {"nextChangeButton",
                                 "nextChangeButton",
                                 "previousChangeButton",
                                 "nextButton",
                                 "previousButton",
                                 "resultViewButton",
                                 "afterViewButton",
                                 "sideBySideButton",
                                 "zoomInButton",
                                 "zoomOutButton",
                                 "revealButton"}) {
            auto* button = find<QAbstractButton>(name);
            QVERIFY2(button->isEnabled(), name);
            QTest::mouseClick(button, Qt::LeftButton);
            settleWindow();
            QVERIFY2(QApplication::focusWidget() == preview(), name);
            QSignalSpy pressed(button, &QAbstractButton::clicked);
            const ResultPreview::Showing before = preview()->showing();
            key(Qt::Key_Space);
            QVERIFY2(pressed.isEmpty(), name);
            QVERIFY2(preview()->showing() != before, name);
            QVERIFY2(preview()->showing() == ResultPreview::Showing::Before ||
                         preview()->showing() == ResultPreview::Showing::After,
                     name);
        }
        QVERIFY(!revealed.isEmpty());
        // Each step, by its key or its button, gives the keys back to the preview.
        find<QListWidget>("pageList")->setFocus();
        key(Qt::Key_N);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(preview()));
        find("changeList")->setFocus();
        QVERIFY(find<QAbstractButton>("nextChangeButton")->isEnabled());
        find<QAbstractButton>("nextChangeButton")->click();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(preview()));
    }

    // Every view button shows its view whether it is clicked, toggled through assistive
    // technology or chosen by its key, and its pane says which view it is.
    void eachViewButtonShowsItsView_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("showing");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("old") << "beforeViewButton" << int(ResultPreview::Showing::Before) << QStringList{"変更前"};
        QTest::newRow("new") << "afterViewButton" << int(ResultPreview::Showing::After) << QStringList{"変更後"};
        QTest::newRow("both") << "sideBySideButton" << int(ResultPreview::Showing::SideBySide)
                              << QStringList{"変更前", "変更後"};
        QTest::newRow("result") << "resultViewButton" << int(ResultPreview::Showing::Result) << QStringList{"結果"};
    }
    void eachViewButtonShowsItsView() {
        QFETCH(QString, button);
        QFETCH(int, showing);
        QFETCH(QStringList, labels);
        finishRealRunWithViews();
        auto* segment = find<QAbstractButton>(button);
        const auto other = [&] {
            w_->find<QAbstractButton>(button == "afterViewButton" ? "beforeViewButton" : "afterViewButton")->click();
            settleWindow();
            QVERIFY(preview()->showing() != ResultPreview::Showing(showing));
        };
        other();
        toggleAccessibly(segment);
        settleWindow();
        QVERIFY(segment->isChecked());
        QCOMPARE(preview()->showing(), ResultPreview::Showing(showing));
        QCOMPARE(preview()->paneLabels(), labels);
        QCOMPARE(preview()->paneCount(), labels.size());
        other();
        segment->click();
        QCOMPARE(preview()->showing(), ResultPreview::Showing(showing));
        other();
        key(Qt::Key(Qt::Key_1 + showing), Qt::AltModifier);
        QCOMPARE(preview()->showing(), ResultPreview::Showing(showing));
        QVERIFY(segment->isChecked());
    }

    // The blink flips the old and the new page every half second until it is stopped, by B or
    // its button (also toggled through assistive technology), or by choosing a view.
    void blinkingFlipsUntilStopped() {
        finishRealRunWithViews();
        auto* blink = find<QAbstractButton>("blinkButton");
        auto* timer = w_->window->findChild<QTimer*>("blinkTimer");
        QVERIFY(timer);
        QCOMPARE(timer->interval(), 500);
        key(Qt::Key_B);
        QVERIFY(timer->isActive() && blink->isChecked());
        QCOMPARE(preview()->showing(), ResultPreview::Showing::Before);
        QTRY_COMPARE_WITH_TIMEOUT(preview()->showing(), ResultPreview::Showing::After, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(preview()->showing(), ResultPreview::Showing::Before, 30000);
        QVERIFY(find<QAbstractButton>("beforeViewButton")->isChecked());
        // It goes on over a step to the next change.
        key(Qt::Key_N);
        QVERIFY(timer->isActive());
        key(Qt::Key_B);
        QVERIFY(!timer->isActive() && !blink->isChecked());

        toggleAccessibly(blink);
        QVERIFY(timer->isActive());
        QVERIFY(menuAction(*w_->window, "点滅")->isChecked());
        key(Qt::Key_1, Qt::AltModifier);
        QVERIFY(!timer->isActive() && !blink->isChecked());
        QCOMPARE(preview()->showing(), ResultPreview::Showing::Result);
        blink->click();
        QVERIFY(timer->isActive());
        find<QAbstractButton>("sideBySideButton")->click();
        QVERIFY(!timer->isActive());
        QCOMPARE(preview()->showing(), ResultPreview::Showing::SideBySide);
        // Nothing to blink without results.
        blink->click();
        w_->model().reset();
        settleWindow();
        QVERIFY(!timer->isActive() && !blink->isEnabled());
    }

    // The change list's pictures: cut from the old and the new page around each change, once
    // the helper has drawn them, away from the window's thread; gone with the results.
    void cropsOfTheOldAndTheNewPage() {
        finishRealRunWithViews();
        QVERIFY(w_->model().changes().rowCount() > 0);  // where the square on the second page was, and is
        ChangeCrops crops(w_->model());
        QCOMPARE(crops.crops(0).state, ChangeCrops::Crops::State::Waiting);
        QSignalSpy cut(&crops, &ChangeCrops::cut);
        QVERIFY(QTest::qWaitFor([&] { return crops.crops(0).state != ChangeCrops::Crops::State::Waiting; }, 60000));
        const ChangeCrops::Crops done = crops.crops(0);
        QCOMPARE(done.state, ChangeCrops::Crops::State::Ready);
        QCOMPARE(done.before.deviceIndependentSize().toSize(), ChangeCrops::SIZE);
        QCOMPARE(done.after.size(), done.before.size());
        QVERIFY(done.before != done.after);
        const auto dark = [](const QImage& image) {
            int count = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) count += qGray(image.pixel(x, y)) < 100;
            return count;
        };
        QVERIFY(dark(done.before) != dark(done.after));  // the square, and where it went
        QVERIFY(!cut.isEmpty());
        w_->model().reset();
        QCOMPARE(crops.crops(0).state, ChangeCrops::Crops::State::Missing);
    }

    void keysForTheRunAndThePages() {
        QStringList captions;
        w_->model().chooseFiles = [&](const QString& caption) {
            captions.append(caption);
            return QList<QUrl>();
        };
        key(Qt::Key_O, Qt::ControlModifier);
        key(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(captions, (QStringList{"変更前のPDFをまとめて選択（追加）", "変更後のPDFをまとめて選択（追加）"}));

        writeScript(w_->home, script({out(line(R"({"event": "start", "total": 2})")), waitForTerm()}));
        w_->model().select(fileUrls({"/o/a.pdf"}), true);
        w_->model().select(fileUrls({"/n/a.pdf"}), false);
        settleWindow();
        key(Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(w_->model().running());
        key(Qt::Key_Escape);
        QVERIFY(settles(w_->model()));
        QCOMPARE(w_->model().status(), QStringLiteral("中止しました。未完成の結果は保存しません。"));

        finishFakeRun();
        key(Qt::Key_PageDown);
        key(Qt::Key_PageDown);
        QCOMPARE(preview()->currentPage(), 0);  // the third row: file b's first page
        QCOMPARE(find<QListWidget>("pageList")->currentRow(), 2);
        key(Qt::Key_PageDown);  // at the end
        QCOMPARE(find<QListWidget>("pageList")->currentRow(), 2);
        key(Qt::Key_PageUp);
        QCOMPARE(find<QListWidget>("pageList")->currentRow(), 1);

        // Alt+1 to Alt+4 choose the view; Space flips the old and new page where the preview has
        // the focus, and presses a button elsewhere.
        const QList<std::pair<Qt::Key, ResultPreview::Showing>> views{{Qt::Key_2, ResultPreview::Showing::Before},
                                                                      {Qt::Key_4, ResultPreview::Showing::SideBySide},
                                                                      {Qt::Key_3, ResultPreview::Showing::After},
                                                                      {Qt::Key_1, ResultPreview::Showing::Result}};
        for (const auto& [digit, showing] : views) {
            key(digit, Qt::AltModifier);
            QCOMPARE(preview()->showing(), showing);
        }
        preview()->setFocus();
        QTest::keyClick(preview(), Qt::Key_Space);
        QCOMPARE(preview()->showing(), ResultPreview::Showing::Before);
        QTest::keyClick(preview(), Qt::Key_Space);
        QCOMPARE(preview()->showing(), ResultPreview::Showing::After);
        QAbstractButton* result = find<QAbstractButton>("resultViewButton");
        result->setFocus();
        QTest::keyClick(result, Qt::Key_Space);
        QCOMPARE(preview()->showing(), ResultPreview::Showing::Result);
    }

    // With the real worker and helper: the old and the new page differ where the pages do and
    // not elsewhere, and side by side they scroll together.
    void theOldAndTheNewPageOfARealRun() {
        finishRealRun();
        QCOMPARE(w_->model().results()[0].regions, 0);
        QVERIFY(w_->model().results()[1].regions > 0);

        const auto showing = [&](const char* button) {
            find<QAbstractButton>(button)->click();
            settleWindow();
            // The helper draws the page's views once; nothing to show until then.
            if (QString::fromLatin1(button) != "resultViewButton" &&
                !QTest::qWaitFor([&] { return preview()->hasViews(); }, 60000))
                return QImage();
            settleWindow();
            return shown(preview());
        };
        for (int page : {0, 1}) {
            find<QListWidget>("pageList")->setCurrentRow(page);
            settleWindow();
            const QImage result = showing("resultViewButton");
            const QImage before = showing("beforeViewButton");
            const QImage after = showing("afterViewButton");
            QVERIFY(!before.isNull() && !after.isNull());
            QCOMPARE(before == after, page == 0);
            QVERIFY(result != before && result != after);  // the result is faded and outlined
            QCOMPARE(preview()->paneCount(), 1);
        }
        // Side by side, zoomed into the unchanged page: both panes show the same part of it.
        find<QListWidget>("pageList")->setCurrentRow(0);
        settleWindow();
        showing("sideBySideButton");
        QCOMPARE(preview()->paneCount(), 2);
        preview()->setZoomPercent(400);
        for (const QPoint scroll : {QPoint(0, 0), QPoint(150, 90), QPoint(400, 300)}) {
            preview()->horizontalScrollBar()->setValue(scroll.x());
            preview()->verticalScrollBar()->setValue(scroll.y());
            settleWindow();
            const QImage both = shown(preview());
            const int column = (both.width() - 12) / 2;
            // Inside the frame that tells the preview has the keys.
            const QRect left(3, 3, column - 6, both.height() - 6);
            QCOMPARE(both.copy(left), both.copy(left.translated(column + 12, 0)));
        }
    }

    // The focus goes from the header down the left column, then over the results, through
    // widgets that show where they are.
    void tabOrderRunsTopLeftToBottomRight() {
        finishFakeRun();
        QWidget* first = find("settingsButton");
        first->setFocus();
        QList<QWidget*> visited{first};
        for (int i = 0; i < 60; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* now = QApplication::focusWidget();
            if (now == first) break;
            visited.append(now);
        }
        // Disabled buttons are passed over, and a group of view buttons is one stop.
        QVERIFY(visited.size() >= 12);
        QCOMPARE(visited.last(), static_cast<QWidget*>(preview()));
        const int rightColumn = find("previousButton")->mapTo(w_->window.get(), QPoint()).x();
        QPoint last(0, 0);
        bool right = false;
        for (QWidget* widget : visited) {
            QVERIFY2(widget->isVisible() && widget->width() > 4 && widget->height() > 4,
                     qPrintable(widget->objectName() + " is a stop that does not show"));
            const QPoint at = widget->mapTo(w_->window.get(), QPoint());
            QVERIFY2(at.x() >= 0 && at.y() >= 0 && at.x() < w_->window->width() && at.y() < w_->window->height(),
                     qPrintable(widget->objectName() + " is outside the window"));
            if (!right && at.x() >= rightColumn && at.y() > 100) {
                right = true;  // the results: from their top again
                last = QPoint(0, 0);
            }
            QVERIFY2(at.y() > last.y() - 4 || (at.y() >= last.y() - 40 && at.x() > last.x()),
                     qPrintable(widget->objectName() + " comes before what precedes it"));
            // The change list is below the page list, in its column: what follows starts beside them.
            if (widget != find("changeList")) last = at;
        }
        QVERIFY(right);
        QVERIFY(visited.contains(find("changeList")));
    }

private:
    ResultPreview* preview() const { return w_->find<ResultPreview>("preview"); }
    template <typename T = QWidget>
    T* find(const QString& name) const {
        return w_->find<T>(name);
    }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : w_->window.get();
        QTest::keyClick(target, key, modifiers);
        settleWindow();
    }
    void wheel(QPointF at, int angle, Qt::KeyboardModifiers modifiers) {
        QWidget* viewport = preview()->viewport();
        QWheelEvent event(at,
                          viewport->mapToGlobal(at),
                          QPoint(),
                          QPoint(0, angle),
                          Qt::NoButton,
                          modifiers,
                          Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(viewport, &event);
        settleWindow();
    }

    // A fake run over two files: file a with two pages of 400 x 600 points (the first with
    // three letters of one word and a dot, the second unchanged), file b with one such page.
    // With `words` the worker lists the changes with their words; without, only the regions.
    void finishFakeRun(bool words = false) {
        const QString output = w_->home.downloads() + "/てすみら検版_x";
        writeSamplePdf(output + "/検版_a.pdf", 2, 0, 400, 600);
        writeSamplePdf(output + "/検版_b.pdf", 1, 1, 400, 600);
        const auto listed = [&](Json changes) { return words ? changes : Json(); };
        Json complete{{"event", "complete"}, {"output", output.toStdString()}, {"files", 2}};
        complete["pages"] =
            Json::array({report("検版_a.pdf",
                                1,
                                "a.pdf",
                                {{300, 300, 20, 30}, {335, 300, 20, 30}, {370, 300, 20, 30}, {100, 600, 20, 20}},
                                listed(Json::array({change({300, 300, 90, 30}, 25.4, 8.5, "1,280", "1,290"),
                                                    change({100, 600, 20, 20}, 30, 50, "週末の", "")}))),
                         report("検版_a.pdf", 2, "a.pdf", {}, listed(Json::array())),
                         report("検版_b.pdf",
                                1,
                                "b.pdf",
                                {{250, 400, 40, 40}},
                                listed(Json::array({change({250, 400, 40, 40}, 21.2, 33.9, "", "新")})))});
        writeScript(w_->home, script({out(line(complete.dump()))}));
        w_->model().select(fileUrls({"/o/a.pdf", "/o/b.pdf"}), true);
        w_->model().select(fileUrls({"/n/a.pdf", "/n/b.pdf"}), false);
        w_->model().start();
        QVERIFY(settles(w_->model()));
        settleWindow();
        QCOMPARE(preview()->currentPage(), 0);
    }

    // A real run of two 300 x 200 point pages, the second with its square moved.
    void finishRealRun() {
        const QString old = w_->home.scratch() + "/旧/見本.pdf", now = w_->home.scratch() + "/新/見本.pdf";
        writeSamplePdf(old, 2, 0, 300, 200);
        writeTwoPages(now);
        w_->model().workerProgram = TESMIRA_WORKER;
        w_->model().views().helperProgram = TESMIRA_PAGE_VIEWS;
        w_->model().settings().setDpi(144);
        w_->model().select({fileUrl(old)}, true);
        w_->model().select({fileUrl(now)}, false);
        w_->model().start();
        QVERIFY(settles(w_->model()));
        settleWindow();
        QVERIFY2(!w_->model().error(), qPrintable(w_->model().error().value_or("")));
    }

    // That run, with the views of its first page drawn.
    void finishRealRunWithViews() {
        finishRealRun();
        find<QAbstractButton>("beforeViewButton")->click();
        QVERIFY(QTest::qWaitFor([&] { return preview()->hasViews(); }, 60000));
        find<QAbstractButton>("resultViewButton")->click();
        settleWindow();
    }

    // Two pages of 300 x 200 points, the second with its square moved.
    static void writeTwoPages(const QString& path) {
        fixtures::Page same, moved;
        same.media = moved.media = {0, 0, 300, 200};
        same.content = fixtures::fill_rect({75, 50, 85, 60}, 0, 0, 0);
        moved.content = fixtures::fill_rect({95, 50, 105, 60}, 0, 0, 0);
        fixtures::Document document;
        document.pages = {same, moved};
        QDir().mkpath(QFileInfo(path).absolutePath());
        fixtures::write_pdf(document, path.toStdString());
    }

    std::unique_ptr<WindowFixture> w_;
};

QTEST_MAIN(InspectingTest)
#include "inspecting_test.moc"
