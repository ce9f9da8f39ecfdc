// The results in the main window: the first result after a run, the navigation between
// result pages and their strict twins, when the preview loads a PDF, and where it labels its
// panes.
#include <QCheckBox>
#include <QPdfPageNavigator>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "app/ui/line_limited_label.hpp"
#include "window_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;
using namespace tesmira::ui;

namespace {

// A "complete" event for result PDFs in `output`, one row per (file, page, strict) entry.
Json completeEvent(const QString& output, const QList<std::tuple<QString, int, QString>>& rows) {
    Json event;
    event["event"] = "complete";
    event["output"] = output.toStdString();
    event["pages"] = Json::array();
    for (const auto& [file, page, strictFile] : rows) {
        Json report;
        report["page"] = page;
        report["file"] = file.toStdString();
        report["strict_file"] = strictFile.isEmpty() ? Json() : Json(strictFile.toStdString());
        report["regions"] = page * 2;
        report["changed_percent"] = 1.5;
        report["source_name"] = "カタログ.pdf";
        event["pages"].push_back(report);
    }
    return event;
}

// The result PDFs of these tests, each with pages of its own width, so that the preview's
// document tells which of them it is.
const QList<std::pair<QString, double>> RESULT_PDFS{
    {"検版_a.pdf", 100}, {"厳密比較_a.pdf", 110}, {"検版_b.pdf", 120}, {"x.pdf", 130}, {"y.pdf", 140}};

void writeResultPdf(const QString& output, const QString& name, int pages) {
    const auto known =
        std::find_if(RESULT_PDFS.begin(), RESULT_PDFS.end(), [&](const auto& pdf) { return pdf.first == name; });
    QVERIFY(known != RESULT_PDFS.end());
    writeSamplePdf(output + "/" + name, pages, int(known - RESULT_PDFS.begin()), known->second, 100);
}

// The result PDF in the preview, "" when none is loaded.
QString loadedFile(const ResultPreview* preview) {
    const QPdfDocument* document = preview->document();
    if (!document || document->status() != QPdfDocument::Status::Ready) return QString();
    const double width = document->pagePointSize(0).width();
    for (const auto& [name, pdfWidth] : RESULT_PDFS)
        if (qAbs(width - pdfWidth) < 0.5) return name;
    return QStringLiteral("<unknown>");
}

// Where a label is: 0 top left, 1 top right, 2 bottom left, 3 bottom right; -1 for none.
int cornerOf(const std::optional<QRect>& label, QSize view) {
    if (!label) return -1;
    return (label->center().x() < view.width() / 2 ? 0 : 1) + (label->center().y() < view.height() / 2 ? 0 : 2);
}

}  // namespace

Q_DECLARE_METATYPE(QList<QRect>)

class PreviewTest : public QObject {
    Q_OBJECT

private slots:
    void init() { w_ = std::make_unique<WindowFixture>(); }
    void cleanup() { w_.reset(); }

    void finishedRunShowsTheFirstResult() {
        const QString output = w_->home.downloads() + "/てすみら検版_x";
        writeResultPdf(output, "検版_a.pdf", 2);
        writeResultPdf(output, "厳密比較_a.pdf", 2);
        writeResultPdf(output, "検版_b.pdf", 1);
        const Json complete = completeEvent(
            output, {{"検版_a.pdf", 1, "厳密比較_a.pdf"}, {"検版_a.pdf", 2, "厳密比較_a.pdf"}, {"検版_b.pdf", 1, ""}});
        writeScript(w_->home, script({out(line(complete.dump()))}));
        w_->model().select(fileUrls({"/o/a.pdf", "/o/b.pdf"}), true);
        w_->model().select(fileUrls({"/n/a.pdf", "/n/b.pdf"}), false);
        w_->model().start();
        QVERIFY(settles(w_->model()));
        settleWindow();

        QVERIFY(!w_->find("emptyPreviewLabel")->isVisibleTo(w_->window.get()));
        QCOMPARE(loadedFile(preview()), QStringLiteral("検版_a.pdf"));
        QCOMPARE(preview()->currentPage(), 0);
        QCOMPARE(title(), QStringLiteral("1 / 3\u3000カタログ.pdf\u30001ページ\u30002か所"));
        QVERIFY(!previous()->isEnabled() && next()->isEnabled());
        QVERIFY(strict()->isEnabled() && !strict()->isChecked());

        // The strict twin of the same page, also when assistive technology toggles the box.
        strict()->click();
        QCOMPARE(loadedFile(preview()), QStringLiteral("厳密比較_a.pdf"));
        toggleAccessibly(strict());
        QVERIFY(!strict()->isChecked());
        QCOMPARE(loadedFile(preview()), QStringLiteral("検版_a.pdf"));
        toggleAccessibly(strict());
        QCOMPARE(loadedFile(preview()), QStringLiteral("厳密比較_a.pdf"));
        // The next page of the same PDF is another page of a new load.
        const QPdfDocument* first = preview()->document();
        next()->click();
        QCOMPARE(loadedFile(preview()), QStringLiteral("厳密比較_a.pdf"));
        QVERIFY(preview()->document() != first);
        QCOMPARE(preview()->currentPage(), 1);
        // A page without a twin: the checkbox stays on but cannot be used, and the plain PDF shows.
        next()->click();
        QVERIFY(strict()->isChecked() && !strict()->isEnabled());
        QCOMPARE(loadedFile(preview()), QStringLiteral("検版_b.pdf"));
        QVERIFY(!next()->isEnabled());
        next()->click();
        QVERIFY(title().startsWith("3 / 3"));
        previous()->click();
        QCOMPARE(loadedFile(preview()), QStringLiteral("厳密比較_a.pdf"));

        // The same results again keep the selection, the checkbox and the loaded document.
        const QPdfDocument* loaded = preview()->document();
        w_->model().receive(complete);
        settleWindow();
        QVERIFY(title().startsWith("2 / 3"));
        QVERIFY(strict()->isChecked());
        QCOMPARE(preview()->document(), loaded);
        // Other results start again at the first row with the checkbox off.
        w_->model().receive(completeEvent(output, {{"検版_b.pdf", 1, ""}}));
        settleWindow();
        QVERIFY(title().startsWith("1 / 1"));
        QVERIFY(!strict()->isChecked());
        QCOMPARE(loadedFile(preview()), QStringLiteral("検版_b.pdf"));
        // Clearing the results shows the empty preview.
        w_->find<QPushButton>("resetButton")->click();
        settleWindow();
        QVERIFY(w_->find("emptyPreviewLabel")->isVisibleTo(w_->window.get()));
        QCOMPARE(preview()->document(), nullptr);
        QCOMPARE(title(), QStringLiteral("検版結果"));
    }

    void previewIsLoadedOnlyWhenTheKeyChanges() {
        const QString output = w_->home.downloads() + "/r";
        writeResultPdf(output, "x.pdf", 1);
        w_->model().receive(completeEvent(output, {{"x.pdf", 1, ""}}));
        settleWindow();
        const QPdfDocument* loaded = preview()->document();
        QVERIFY(loaded);
        for (int i = 0; i < 3; ++i) {
            w_->model().setError(QString::number(i));
            settleWindow();
        }
        QCOMPARE(preview()->document(), loaded);
    }

    void missingResultPdfLeavesAnEmptyPreview() {
        const QString output = w_->home.downloads() + "/gone";
        w_->model().receive(completeEvent(output, {{"x.pdf", 1, ""}, {"y.pdf", 5, ""}}));
        settleWindow();
        QCOMPARE(preview()->document(), nullptr);
        QCOMPARE(title(), QStringLiteral("1 / 2\u3000カタログ.pdf\u30001ページ\u30002か所"));
        // The page that could not be opened is not tried again while it stays the one shown.
        writeResultPdf(output, "x.pdf", 1);
        w_->model().setError(QStringLiteral("x"));
        settleWindow();
        QCOMPARE(preview()->document(), nullptr);
        // A page number beyond the document: it stays on its first page.
        writeResultPdf(output, "y.pdf", 1);
        next()->click();
        QCOMPARE(loadedFile(preview()), QStringLiteral("y.pdf"));
        QCOMPARE(preview()->currentPage(), 0);
    }

    // A pane's label goes to the first corner over no change, else to the first over no mark,
    // and where the mark fills the view it is left out.
    void paneLabelsKeepOffTheChanges_data() {
        QTest::addColumn<QList<QRect>>("changes");
        QTest::addColumn<QRect>("mark");  // none when null
        QTest::addColumn<int>("corner");
        // The view shows the page's pixels one to one from its top left; it is 400 × 300.
        const QRect topLeft(0, 0, 40, 30), topRight(360, 0, 40, 30), bottomLeft(0, 270, 40, 30),
            bottomRight(360, 270, 40, 30), middle(180, 130, 40, 40);
        QTest::newRow("no change") << QList<QRect>{} << QRect() << 0;
        QTest::newRow("a change far away") << QList<QRect>{middle} << QRect() << 0;
        QTest::newRow("top left") << QList<QRect>{topLeft} << QRect() << 1;
        QTest::newRow("across the top") << QList<QRect>{topLeft, topRight} << QRect() << 2;
        QTest::newRow("three corners") << QList<QRect>{topLeft, topRight, bottomLeft} << QRect() << 3;
        QTest::newRow("every corner, the mark between")
            << QList<QRect>{topLeft, topRight, bottomLeft, bottomRight} << middle << 0;
        QTest::newRow("every corner, the mark top left")
            << QList<QRect>{topLeft, topRight, bottomLeft, bottomRight} << topLeft << 1;
        QTest::newRow("the mark over the view") << QList<QRect>{} << QRect(-50, -50, 500, 400) << -1;
    }
    void paneLabelsKeepOffTheChanges() {
        QFETCH(QList<QRect>, changes);
        QFETCH(QRect, mark);
        QFETCH(int, corner);
        PageView view;
        view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QImage page(4000, 3000, QImage::Format_RGB32);
        page.fill(Qt::white);
        view.setPanes(page.size(), 300, {{{page, QRect(QPoint(), page.size())}}});
        view.setZoomPercent(100.0 * 300 / view.logicalDpiX());
        view.horizontalScrollBar()->setValue(0);
        view.verticalScrollBar()->setValue(0);
        QCOMPARE(view.pagePointAt(QPointF(0, 0)), QPointF(0, 0));
        view.setPaneLabels({QStringLiteral("変更前")});
        view.setChanges(changes);
        view.setMark(mark.isNull() ? std::nullopt : std::optional(mark));
        const std::optional<QRect> label = view.paneLabelRect(0);
        QCOMPARE(cornerOf(label, view.viewport()->size()), corner);
        if (label) {
            QVERIFY(label->width() < 80 && label->height() < 30);  // small
            QVERIFY(!mark.isValid() || !label->intersects(mark));
        }
    }

private:
    ResultPreview* preview() const { return w_->find<ResultPreview>("preview"); }
    QCheckBox* strict() const { return w_->find<QCheckBox>("strictCheck"); }
    QPushButton* next() const { return w_->find<QPushButton>("nextButton"); }
    QPushButton* previous() const { return w_->find<QPushButton>("previousButton"); }
    QString title() const { return w_->find<LineLimitedLabel>("resultTitleLabel")->fullText(); }

    std::unique_ptr<WindowFixture> w_;
};

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
