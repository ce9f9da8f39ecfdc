// What the model gives the window for inspecting a run's changes: the regions' boxes of each
// result page, the changes in stepping order, and the old and new pages drawn from the PDFs the
// worker compared.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "app/model/change_list.hpp"
#include "app/model/change_stops.hpp"
#include "fixtures/pdf_builder.hpp"
#include "model_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;

namespace {

ProofPage pageWithBoxes(const QList<QRect>& boxes) {
    ProofPage page;
    page.file = QStringLiteral("r.pdf");
    page.page = 1;
    page.regions = boxes.size();
    page.boxes = boxes;
    return page;
}

// A change as the worker lists it.
Json listedChange(const QRect& box, const QRectF& mm, int regions, const char* oldText, const char* newText,
                  const char* oldSpan, const char* newSpan) {
    return {{"box", {box.x(), box.y(), box.width(), box.height()}},
            {"box_mm", {mm.x(), mm.y(), mm.width(), mm.height()}},
            {"regions", regions},
            {"old_text", oldText},
            {"new_text", newText},
            {"old_span", oldSpan},
            {"new_span", newSpan}};
}

// A page report below a band of 40 pixels, with the regions' boxes (the first 200 of them, as
// the worker gives them) and, unless `changes` is null, the listed changes.
Json pageReport(const char* file, int page, const char* source, const QList<QRect>& boxes, const Json& changes,
                int leftOut = 0) {
    Json report{{"page", page}, {"file", file}, {"regions", boxes.size()}, {"source_name", source}};
    report["boxes"] = Json::array();
    for (const QRect& box : boxes.mid(0, 200))
        report["boxes"].push_back({{"x", box.x()}, {"y", box.y()}, {"width", box.width()}, {"height", box.height()}});
    report["boxes_truncated"] = boxes.size() > 200;
    report["header_height"] = 40;
    if (!changes.is_null()) {
        report["changes_left_out"] = leftOut;
        report["changes"] = changes;
    }
    return report;
}

Json completeEvent(const Json& pages) { return {{"event", "complete"}, {"output", "/r"}, {"pages", pages}}; }

// A paragraph of hundreds of letters' regions, far below the top of the page.
QList<QRect> reflowedParagraph() {
    QList<QRect> letters;
    for (int line = 0; line < 12; ++line)
        for (int letter = 0; letter < 40; ++letter) letters.append(QRect(200 + 60 * letter, 2400 + 70 * line, 30, 40));
    return letters;
}

// The folders of the views' caches in the temporary folder.
QStringList viewCaches() {
    return QDir(QDir::tempPath()).entryList({QStringLiteral("tesmira-views-*")}, QDir::Dirs | QDir::Hidden);
}

}  // namespace

Q_DECLARE_METATYPE(QList<QRect>)

class InspectionTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        home_ = std::make_unique<TestHome>();
        model_ = std::make_unique<ProofModel>();
        model_->workerProgram = TESMIRA_WORKER;
        model_->views().helperProgram = TESMIRA_PAGE_VIEWS;
    }
    void cleanup() {
        model_.reset();
        home_.reset();
    }

    // The boxes arrive below the band of the result page; what is not a box is left out.
    void boxesAreDecodedOntoTheResultPage() {
        model_->receive(Json::parse(R"({"event": "complete", "output": "/r", "pages": [
            {"page": 1, "file": "a.pdf", "regions": 3, "boxes": [{"x": 10, "y": 20, "width": 30, "height": 40},
              {"x": 1, "y": 2, "width": 0, "height": 4}, {"x": -1, "y": 2, "width": 3, "height": 4},
              {"x": "1", "y": 2, "width": 3, "height": 4}, [], {"x": 5, "y": 0, "width": 1, "height": 1}],
             "boxes_truncated": true, "header_height": 84},
            {"page": 2, "file": "a.pdf", "regions": 0},
            {"page": 3, "file": "a.pdf", "regions": 1, "boxes": {"x": 1}, "boxes_truncated": "yes"}]})"));
        QCOMPARE(model_->results().size(), 3);
        QCOMPARE(model_->results()[0].boxes, (QList<QRect>{QRect(10, 104, 30, 40), QRect(5, 84, 1, 1)}));
        QVERIFY(model_->results()[0].boxesTruncated);
        QVERIFY(model_->results()[1].boxes.isEmpty());
        QVERIFY(model_->results()[2].boxes.isEmpty());
        QVERIFY(!model_->results()[2].boxesTruncated);
    }

    void changesGroupRegionsAFewMillimetresApart_data() {
        QTest::addColumn<QList<QRect>>("boxes");
        QTest::addColumn<QList<QRect>>("changes");
        // At 300 dpi 3 mm is 35 pixels.
        QTest::newRow("letters of one word") << QList<QRect>{{100, 100, 10, 20}, {120, 100, 10, 20}, {150, 102, 8, 18}}
                                             << QList<QRect>{{100, 100, 58, 20}};
        QTest::newRow("35 pixels between")
            << QList<QRect>{{0, 0, 10, 10}, {45, 0, 10, 10}} << QList<QRect>{{0, 0, 55, 10}};
        QTest::newRow("37 pixels between")
            << QList<QRect>{{0, 0, 10, 10}, {47, 0, 10, 10}} << QList<QRect>{{0, 0, 10, 10}, {47, 0, 10, 10}};
        QTest::newRow("joined through a third")
            << QList<QRect>{{0, 0, 10, 10}, {80, 0, 10, 10}, {40, 0, 10, 10}} << QList<QRect>{{0, 0, 90, 10}};
        QTest::newRow("top to bottom, then left to right")
            << QList<QRect>{{500, 900, 5, 5}, {900, 100, 5, 5}, {100, 100, 5, 5}}
            << QList<QRect>{{100, 100, 5, 5}, {900, 100, 5, 5}, {500, 900, 5, 5}};
    }

    void changesGroupRegionsAFewMillimetresApart() {
        QFETCH(QList<QRect>, boxes);
        QFETCH(QList<QRect>, changes);
        const QList<ChangeStop> stops = changeStops({pageWithBoxes({}), pageWithBoxes(boxes)}, 300);
        QList<QRect> areas;
        for (const ChangeStop& stop : stops) {
            QCOMPARE(stop.result, 1);
            areas.append(stop.change.box);
        }
        QCOMPARE(areas, changes);
        // 18 pixels are 1.5 mm at 300 dpi and 3.2 mm at 144 dpi.
        const ProofPage near = pageWithBoxes({{0, 0, 10, 10}, {28, 0, 10, 10}});
        QCOMPARE(changeStops({near}, 300).size(), 1);
        QCOMPARE(changeStops({near}, 144).size(), 2);
    }

    // The worker's changes arrive on the result page, below its band; what is not a change is
    // left out, and a report without a list of changes has none.
    void changesAreReadFromThePageReports() {
        Json changes = Json::array(
            {listedChange({10, 20, 30, 40}, {190.5, 79.1, 1.5, 2.5}, 1, "1,280円", "1,290円", "1,280", "1,290"),
             listedChange({1, 2, 0, 4}, {1, 1, 1, 1}, 1, "", "", "", ""),
             listedChange({5, 500, 300, 90}, {}, 462, "週末の特売", "特売", "週末の", ""),
             7});
        changes[2]["box_mm"] = "x";
        changes.push_back({{"box", {1, 2, 3}}});
        changes.push_back({{"box_mm", {1, 2, 3, 4}}});
        model_->receive(completeEvent(Json::array({pageReport("a.pdf", 1, "a.pdf", {{10, 20, 30, 40}}, changes),
                                                   pageReport("a.pdf", 2, "a.pdf", {}, Json::array(), 3),
                                                   pageReport("a.pdf", 3, "a.pdf", {{1, 1, 5, 5}}, nullptr)})));
        const QList<ProofPage>& results = model_->results();
        QCOMPARE(results.size(), 3);
        QCOMPARE(results[0].headerHeight, 40);
        QVERIFY(results[0].changes);
        QCOMPARE(
            *results[0].changes,
            (QList<PageChange>{{{10, 60, 30, 40}, {190.5, 79.1, 1.5, 2.5}, 1, "1,280円", "1,290円", "1,280", "1,290"},
                               {{5, 540, 300, 90}, {}, 462, "週末の特売", "特売", "週末の", ""}}));
        QCOMPARE(results[1].changes, std::optional(QList<PageChange>{}));
        QCOMPARE(results[1].changesLeftOut, 3);
        QCOMPARE(results[2].changes, std::nullopt);
    }

    // A one-digit change at the top of a page and a reflowed paragraph of hundreds of regions
    // below it: the steps and the change list hold every change the worker lists, the top one
    // first, also where the regions' boxes stop at 200; without the list, the boxes are grouped.
    void everyListedChangeIsAStep() {
        const QList<QRect> paragraph = reflowedParagraph();
        const QRect digit(1500, 300, 20, 30);
        const Json changes = Json::array(
            {listedChange(digit, {127, 25.4, 1.7, 2.5}, 1, "1,280円", "1,290円", "1,280", "1,290"),
             listedChange({200, 2400, 2370, 810}, {17, 203, 200.7, 68.6}, 480, "週末の特売", "特売", "週末の", "")});
        QList<QRect> regions = paragraph;
        regions.append(digit);  // the last of the regions, beyond the first 200
        model_->receive(completeEvent(Json::array({pageReport("a.pdf", 1, "a.pdf", regions, changes)})));
        const ChangeList& list = model_->changes();
        QCOMPARE(list.rowCount(), 2);
        QCOMPARE(list.stop(0).change.box, digit.translated(0, 40));
        QCOMPARE(list.data(list.index(0), ChangeList::WordsRole).toString(), QStringLiteral("「1,280」→「1,290」"));
        QCOMPARE(list.data(list.index(1), ChangeList::WordsRole).toString(), QStringLiteral("「週末の」を削除"));
        QCOMPARE(list.changesOnPage(0), 2);

        // The same page from a worker that lists no changes: its first 200 regions, grouped.
        model_->receive(completeEvent(Json::array({pageReport("a.pdf", 1, "a.pdf", regions, nullptr)})));
        QVERIFY(list.rowCount() > 0);
        for (const ChangeStop& stop : list.stops()) QVERIFY(!stop.change.box.intersects(digit.translated(0, 40)));
        qint64 grouped = 0;
        for (const ChangeStop& stop : list.stops()) grouped += stop.change.regions;
        QCOMPARE(grouped, 200);
    }

    // One row per change, page after page and file after file, each read as one sentence. (Out
    // of a run, the boxes of a worker that lists no changes are grouped only where they touch.)
    void changeRowsInOrderAcrossFiles() {
        model_->receive(completeEvent(Json::array(
            {pageReport("検版_a.pdf",
                        1,
                        "a.pdf",
                        {{100, 100, 10, 10}, {900, 900, 10, 10}},
                        Json::array(
                            {listedChange({100, 100, 10, 10}, {8.5, 4.2, 0.8, 0.8}, 1, "", "", "", ""),
                             listedChange(
                                 {900, 900, 10, 10}, {76.2, 76.2, 0.8, 0.8}, 1, "1,280", "1,290", "1,280", "1,290")})),
             pageReport("検版_a.pdf", 2, "a.pdf", {}, Json::array()),
             pageReport("検版_b.pdf", 1, "b.pdf", {{300, 300, 10, 10}, {310, 300, 10, 10}, {50, 50, 5, 5}}, nullptr),
             pageReport("検版_c.pdf",
                        1,
                        "c.pdf",
                        {{10, 10, 5, 5}},
                        Json::array({listedChange({10, 10, 5, 5}, {0, 0, 0.4, 0.4}, 1, "価格", "価格", "", "")}),
                        4500)})));
        const ChangeList& list = model_->changes();
        QStringList rows;
        for (int row = 0; row < list.rowCount(); ++row) rows.append(list.data(list.index(row)).toString());
        QCOMPARE(rows,
                 (QStringList{"a.pdf 1ページ\u30008.5, 4.2 mm",
                              "a.pdf 1ページ\u300076.2, 76.2 mm\u3000「1,280」→「1,290」",
                              "b.pdf 1ページ",
                              "b.pdf 1ページ",
                              "c.pdf 1ページ\u30000.0, 0.0 mm\u3000「価格」"}));
        QCOMPARE(list.stop(2).result, 2);
        QCOMPARE(list.stop(2).change.box, QRect(50, 90, 5, 5));  // the top one first
        QCOMPARE(list.stop(3).change.regions, 2);
        QCOMPARE(list.data(list.index(1), Qt::ToolTipRole).toString(),
                 QStringLiteral("a.pdf 1ページ\u300076.2, 76.2 mm\u3000「1,280」→「1,290」\n大きさ: 0.8 × 0.8 mm\n"
                                "変更前: 1,280\n変更後: 1,290"));
        QVERIFY(list.severalSources());
        QCOMPARE(
            (QList<qint64>{list.changesOnPage(0), list.changesOnPage(1), list.changesOnPage(2), list.changesOnPage(3)}),
            (QList<qint64>{2, 0, 2, 4501}));
        // The list goes with the results.
        model_->reset();
        QCOMPARE(list.rowCount(), 0);
    }

    void wordsOfAChange_data() {
        QTest::addColumn<QStringList>("texts");  // old text, new text, old span, new span
        QTest::addColumn<QString>("words");
        QTest::newRow("a digit") << QStringList{"1,280円", "1,290円", "1,280", "1,290"} << "「1,280」→「1,290」";
        QTest::newRow("a kana") << QStringList{"さくら", "さぐら", "く", "ぐ"} << "「く」→「ぐ」";
        QTest::newRow("a deleted word") << QStringList{"週末の特売", "特売", "週末の", ""} << "「週末の」を削除";
        QTest::newRow("an added word") << QStringList{"特売", "新 特売", "", "新"} << "「新」を追加";
        QTest::newRow("the same words") << QStringList{"価格", "価格", "", ""} << "「価格」";
        QTest::newRow("words on the old page only") << QStringList{"価格", "", "", ""} << "「価格」";
        QTest::newRow("no words") << QStringList{"", "", "", ""} << "";
    }
    void wordsOfAChange() {
        QFETCH(QStringList, texts);
        QFETCH(QString, words);
        PageChange change;
        change.oldText = texts[0];
        change.newText = texts[1];
        change.oldSpan = texts[2];
        change.newSpan = texts[3];
        QCOMPARE(wordsText(change), words);
        QCOMPARE(placeText(change), QString());
        change.boxMm = QRectF(190.45, 79.15, 1.5, 2.5);
        QCOMPARE(placeText(change), QStringLiteral("190.4, 79.2 mm"));
    }

    // A real run: the change list holds the changes of every changed page, on the page and top
    // first. A worker that lists its changes gives their place and words, and the top one of a
    // page whose reflowed paragraph has hundreds of regions.
    void theChangeListOfARealRun() {
        const QString old = home_->scratch() + "/旧/文書.pdf", now = home_->scratch() + "/新/文書.pdf";
        writeReflowedPage(old, "1280", "Weekend sale: ");
        writeReflowedPage(now, "1290", "");
        compareAt144Dpi(old, now);
        const ProofPage& page = model_->results().value(0);
        QVERIFY(page.regions > 200);
        const ChangeList& list = model_->changes();
        QVERIFY(list.rowCount() > 0);
        const QRect resultPage(0, 0, 595 * 2 + 100, int(page.headerHeight) + 842 * 2 + 100);
        for (const ChangeStop& stop : list.stops()) {
            QCOMPARE(stop.result, 0);
            QVERIFY(resultPage.contains(stop.change.box));
            QVERIFY(stop.change.box.top() >= page.headerHeight);
        }
        QCOMPARE(list.changesOnPage(0), list.rowCount() + page.changesLeftOut);
        if (!page.changes) QSKIP("this worker lists no changes: their place, words and every step need one that does");
        // The price, 30 points below the trim box's top: the first change, with its words.
        const PageChange& price = list.stop(0).change;
        QVERIFY2(price.boxMm.top() > 5 && price.boxMm.top() < 20, qPrintable(placeText(price)));
        QCOMPARE(price.oldSpan, QStringLiteral("1280"));
        QCOMPARE(price.newSpan, QStringLiteral("1290"));
        QVERIFY(list.rowCount() >= 2);
    }

    // A real run keeps its PDFs for the views; the helper draws a page's two views once, on
    // request, and a broken pair fails with the helper's message.
    void viewsAreDrawnFromTheComparedPdfs() {
        const QString old = home_->scratch() + "/旧/見本.pdf", now = home_->scratch() + "/新/見本.pdf";
        QDir().mkpath(QFileInfo(old).path());
        QDir().mkpath(QFileInfo(now).path());
        writeSamplePdf(old, 2, 0);
        writeSamplePdf(now, 2, 1);
        compareAt144Dpi(old, now);
        QCOMPARE(model_->resultResolution(), 144);
        QCOMPARE(viewCaches().size(), 1);
        const ProofPage page = model_->results()[1];
        QCOMPARE(page.sourceName, QStringLiteral("見本.pdf"));
        QVERIFY(!page.boxes.isEmpty());
        // The sample's 100-point square page in its margin, below the band.
        const int canvas = 100 * 144 / 72 + 2 * 50;
        for (const QRect& box : page.boxes) QVERIFY(box.top() > 50 && box.right() < canvas);

        QSignalSpy drawn(&model_->views(), &ComparedViews::drawn);
        QCOMPARE(model_->views().views(page, 144).state, ComparedViews::State::Drawing);
        QVERIFY(drawn.wait(60000));
        const ComparedViews::Views views = model_->views().views(page, 144);
        QCOMPARE(views.state, ComparedViews::State::Ready);
        const QImage before(views.before), after(views.after);
        QCOMPARE(before.size(), QSize(canvas, canvas));
        QCOMPARE(after.size(), before.size());
        QVERIFY(before != after);
        // Asked again, they are there without another drawing.
        QCOMPARE(model_->views().views(page, 144).state, ComparedViews::State::Ready);
        QTest::qWait(50);
        QCOMPARE(drawn.size(), 1);

        // A pair that the helper cannot draw tells why.
        ProofPage broken = page;
        broken.page = 7;
        QCOMPARE(model_->views().views(broken, 144).state, ComparedViews::State::Drawing);
        QVERIFY(drawn.wait(60000));
        const ComparedViews::Views failed = model_->views().views(broken, 144);
        QCOMPARE(failed.state, ComparedViews::State::Failed);
        QCOMPARE(failed.message, QStringLiteral("指定ページがありません。このPDFは2ページです。"));
        ProofPage unknown = page;
        unknown.sourceName = QStringLiteral("ほか.pdf");
        QCOMPARE(model_->views().views(unknown, 144).state, ComparedViews::State::Unavailable);

        // The views go with the results.
        model_->reset();
        QVERIFY(viewCaches().isEmpty());
        QCOMPARE(model_->views().views(page, 144).state, ComparedViews::State::Unavailable);
    }

    // The helper runs in the worker's environment, the window's temporary folder included.
    void theViewsHelperGetsTheWorkersEnvironment() {
        model_->views().helperProgram = TESMIRA_FAKE_WORKER;
        writeScript(*home_, script({exitWith(0)}));
        const QString root = model_->views().renew();
        QVERIFY(QDir().mkpath(root + "/a.pdf"));
        QFile after(root + "/a.pdf/after.pdf");
        QVERIFY(after.open(QIODevice::WriteOnly));
        after.close();
        ProofPage page;
        page.sourceName = QStringLiteral("a.pdf");
        page.page = 1;
        qputenv("TESMIRA_PRIVATE_VARIABLE", "must not reach the helper");
        QSignalSpy drawn(&model_->views(), &ComparedViews::drawn);
        QCOMPARE(model_->views().views(page, 144).state, ComparedViews::State::Drawing);
        QVERIFY(drawn.wait(60000));
        qunsetenv("TESMIRA_PRIVATE_VARIABLE");
        QCOMPARE(launchEnvironment(launchRecord(*home_)), helperEnvironment(*home_));
    }

    // The change list's pictures ask for views later: they are drawn after every page asked for
    // now, the page asked last first, and one being drawn gives way to a page asked for now.
    void viewsForLaterWaitForThoseForNow() {
        const QString old = home_->scratch() + "/旧/見本.pdf", now = home_->scratch() + "/新/見本.pdf";
        writeSamplePdf(old, 3, 0);
        writeSamplePdf(now, 3, 1);
        compareAt144Dpi(old, now);
        const QList<ProofPage> pages = model_->results();
        QCOMPARE(pages.size(), 3);
        ComparedViews& views = model_->views();
        using State = ComparedViews::State;
        using Need = ComparedViews::Need;
        // The pages drawn when each drawing ends, in the order they end.
        QStringList order;
        connect(&views, &ComparedViews::drawn, this, [&] {
            QString ready;
            for (int page = 0; page < 3; ++page)
                if (QFileInfo(views.views(pages[page], 144, Need::Later).after).isFile())
                    ready += QString::number(page);
            order.append(ready);
        });
        QCOMPARE(views.views(pages[1], 144, Need::Later).state, State::Drawing);  // drawn at once
        QCOMPARE(views.views(pages[0], 144).state, State::Drawing);               // drawn instead
        QCOMPARE(views.views(pages[2], 144).state, State::Drawing);
        QCOMPARE(views.views(pages[2], 144, Need::Later).state, State::Drawing);  // stays asked for now
        QVERIFY(QTest::qWaitFor([&] { return order.size() == 3; }, 60000));
        QCOMPARE(order, (QStringList{"0", "02", "012"}));
    }

    // In archive mode the old page is the saved version that was compared, drawn as the helper
    // draws it from that version's file.
    void theOldPageOfAnArchiveRunIsTheSavedVersion() {
        model_->settings().setDpi(144);
        model_->setNewProjectName(QStringLiteral("春のカタログ"));
        model_->createArchiveProject();
        model_->setArchiveMode(true);
        const QString first = home_->scratch() + "/v1/カタログ.pdf", second = home_->scratch() + "/v2/カタログ.pdf";
        writeSamplePdf(first, 1, 0);
        writeSamplePdf(second, 1, 2);
        model_->select({fileUrl(first)}, false);
        model_->start(true);
        QVERIFY(settles(*model_));
        QVERIFY(viewCaches().isEmpty());  // registering compares nothing
        model_->select({fileUrl(second)}, false);
        model_->start();
        QVERIFY(settles(*model_));
        QVERIFY2(!model_->error(), qPrintable(model_->error().value_or("")));
        const ProofPage page = model_->results().value(0);
        QVERIFY(page.regions > 0);

        QSignalSpy drawn(&model_->views(), &ComparedViews::drawn);
        QCOMPARE(model_->views().views(page, 144).state, ComparedViews::State::Drawing);
        QVERIFY(drawn.wait(60000));
        const ComparedViews::Views views = model_->views().views(page, 144);
        QCOMPARE(views.state, ComparedViews::State::Ready);
        const QString expected = home_->scratch() + "/expected";
        QDir().mkpath(expected);
        QCOMPARE(QProcess::execute(TESMIRA_PAGE_VIEWS,
                                   {first, second, "1", "144", expected + "/old.png", expected + "/new.png"}),
                 0);
        QCOMPARE(QImage(views.before), QImage(expected + "/old.png"));
        QCOMPARE(QImage(views.after), QImage(expected + "/new.png"));
    }

    // What a killed window left goes when the next one starts; a live window's cache stays.
    void aKilledWindowsViewsAreSweptAtTheStart() {
        const QString left = QDir::tempPath() + "/tesmira-views-0123456789abcdef0123456789abcdef";
        QDir().mkpath(left + "/見本.pdf");
        const QString live = model_->views().renew();
        QVERIFY(!live.isEmpty());
        ProofModel next;
        QVERIFY(!QFileInfo::exists(left));
        QVERIFY(QFileInfo(live).isDir());
    }

private:
    // A real run over one pair at 144 dpi, which succeeds.
    void compareAt144Dpi(const QString& old, const QString& now) {
        model_->settings().setDpi(144);
        model_->select({fileUrl(old)}, true);
        model_->select({fileUrl(now)}, false);
        model_->start();
        QVERIFY(settles(*model_));
        QVERIFY2(!model_->error(), qPrintable(model_->error().value_or("")));
    }

    // An A4 page with a price near its top and, far below, a paragraph that begins with
    // `opening`: without it, every line of the paragraph moves.
    static void writeReflowedPage(const QString& path, const std::string& price, const std::string& opening) {
        fixtures::Page page;
        page.content = fixtures::text(72, 800, 14, "Price " + price + " yen");
        const std::string words = opening +
                                  "fresh bread and cakes baked every morning in our own kitchen with flour from the "
                                  "mill next door, butter from the valley and eggs from the farm up the hill. ";
        std::string paragraph;
        for (int i = 0; i < 4; ++i) paragraph += words;
        constexpr std::size_t LINE = 70;
        for (std::size_t line = 0; line * LINE < paragraph.size() && line < 16; ++line)
            page.content += fixtures::text(72, 400 - 16.0 * double(line), 11, paragraph.substr(line * LINE, LINE));
        fixtures::Document document;
        document.pages = {page};
        QDir().mkpath(QFileInfo(path).absolutePath());
        fixtures::write_pdf(document, path.toStdString());
    }

    std::unique_ptr<TestHome> home_;
    std::unique_ptr<ProofModel> model_;
};

QTEST_GUILESS_MAIN(InspectionTest)
#include "inspection_test.moc"
