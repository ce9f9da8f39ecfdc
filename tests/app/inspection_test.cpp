// What the model gives the window for inspecting a run's changes: the regions' boxes of each
// result page, the changes in stepping order, and the old and new pages drawn from the PDFs the
// worker compared.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "app/model/change_stops.hpp"
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
            areas.append(stop.area);
        }
        QCOMPARE(areas, changes);
        // 18 pixels are 1.5 mm at 300 dpi and 3.2 mm at 144 dpi.
        const ProofPage near = pageWithBoxes({{0, 0, 10, 10}, {28, 0, 10, 10}});
        QCOMPARE(changeStops({near}, 300).size(), 1);
        QCOMPARE(changeStops({near}, 144).size(), 2);
    }

    // A real run keeps its PDFs for the views; the helper draws a page's two views once, on
    // request, and a broken pair fails with the helper's message.
    void viewsAreDrawnFromTheComparedPdfs() {
        const QString old = home_->scratch() + "/旧/見本.pdf", now = home_->scratch() + "/新/見本.pdf";
        QDir().mkpath(QFileInfo(old).path());
        QDir().mkpath(QFileInfo(now).path());
        writeSamplePdf(old, 2, 0);
        writeSamplePdf(now, 2, 1);
        model_->settings().setDpi(144);
        model_->select({fileUrl(old)}, true);
        model_->select({fileUrl(now)}, false);
        model_->start();
        QVERIFY(settles(*model_));
        QVERIFY2(!model_->error(), qPrintable(model_->error().value_or("")));
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
    std::unique_ptr<TestHome> home_;
    std::unique_ptr<ProofModel> model_;
};

QTEST_GUILESS_MAIN(InspectionTest)
#include "inspection_test.moc"
