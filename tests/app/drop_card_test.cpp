// The drop cards of the main window: the list of one side, its buttons, and drops.
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include "app/ui/pdf_drop_card.hpp"
#include "window_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;
using namespace tesmira::ui;

class DropCardTest : public QObject {
    Q_OBJECT

private slots:
    void init() { w_ = std::make_unique<WindowFixture>(); }
    void cleanup() { w_.reset(); }

    void dropCardShowsItsSide_data() {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("height");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("one") << 1 << 26;
        QTest::newRow("two") << 2 << 52;
        QTest::newRow("three") << 3 << 78;
        QTest::newRow("five") << 5 << 78;
    }
    void dropCardShowsItsSide() {
        QFETCH(int, files);
        QFETCH(int, height);
        QList<QUrl> urls;
        for (int i = 0; i < files; ++i) urls.append(fileUrl(QString("/in/フォルダ %1/%1.pdf").arg(i)));
        if (files) w_->model().select(urls, true);
        settleWindow();
        PdfDropCard* before = card(true);
        QListView* list = child<QListView>(*before, "fileList");
        QCOMPARE(list->height(), height);
        QCOMPARE(list->isVisibleTo(before), files > 0);
        for (const char* name : {"countLabel", "removeButton", "clearButton"})
            QCOMPARE(child<QWidget>(*before, name)->isVisibleTo(before), files > 0);
        QVERIFY(button(before, "addButton")->isVisibleTo(before));
        if (files) QCOMPARE(child<QLabel>(*before, "countLabel")->text(), QString::number(files) + "件");
        QCOMPARE(list->model()->rowCount(), files);
        for (int row = 0; row < files; ++row) {
            const QModelIndex index = list->model()->index(row, 0);
            QCOMPARE(index.data().toString(), QString("%1.pdf").arg(row));
            QCOMPARE(index.data(Qt::ToolTipRole).toString(), QString("/in/フォルダ %1/%1.pdf").arg(row));
            QCOMPARE(list->visualRect(index).height(), 26);
        }
        QCOMPARE(button(before, "addButton")->text(), QStringLiteral("A\u3000変更前のPDFを追加…"));
        QCOMPARE(button(card(false), "addButton")->text(), QStringLiteral("B\u3000変更後のPDFを追加…"));
        QVERIFY(!child<QListView>(*card(false), "fileList")->isVisibleTo(card(false)));
    }

    void removeSelectedRowsInAscendingOrder() {
        w_->model().select(fileUrls({"/in/a.pdf", "/in/b.pdf", "/in/c.pdf"}), true);
        w_->model().select(fileUrls({"/in/a.pdf"}), false);
        settleWindow();
        PdfDropCard* before = card(true);
        QListView* list = child<QListView>(*before, "fileList");
        list->selectionModel()->select(list->model()->index(2, 0), QItemSelectionModel::Select);
        list->selectionModel()->select(list->model()->index(0, 0), QItemSelectionModel::Select);
        WriteLog log(w_->model());
        button(before, "removeButton")->click();
        QCOMPARE(w_->model().before(), QList<QUrl>{fileUrl("/in/b.pdf")});
        // Two removals, row 0 first: each writes the side, then clears the last run.
        QCOMPARE(log.count(), 12);
        QCOMPARE(log.writes().first(), QStringLiteral("before"));
        QCOMPARE(w_->model().after().size(), 1);
        // Nothing selected: nothing happens.
        settleWindow();
        WriteLog none(w_->model());
        button(before, "removeButton")->click();
        QCOMPARE(none.count(), 0);
        // Clear empties only its own side.
        button(card(false), "clearButton")->click();
        QVERIFY(w_->model().after().isEmpty());
        QCOMPARE(w_->model().before().size(), 1);
    }

    void drops_data() {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("one PDF") << QList<QUrl>{fileUrl("/in/a.pdf")} << true;
        QTest::newRow("extensions in any case")
            << QList<QUrl>{fileUrl("/in/a.pdf"), fileUrl("/in/b.PDF"), fileUrl("/in/c.Pdf")} << true;
        QTest::newRow("a PDF and a text file") << QList<QUrl>{fileUrl("/in/a.PDF"), fileUrl("/in/b.txt")} << false;
        QTest::newRow("a text file") << QList<QUrl>{fileUrl("/in/notes.txt")} << false;
        QTest::newRow("a folder") << QList<QUrl>{fileUrl("/in/folder/")} << false;
        QTest::newRow("not a file") << QList<QUrl>{QUrl("https://example.com/a.pdf")} << false;
        QTest::newRow("nothing") << QList<QUrl>{} << false;
    }
    void drops() {
        QFETCH(QList<QUrl>, urls);
        QFETCH(bool, accepted);
        const Published before(w_->model());
        const auto [entered, dropped] = dragAndDrop(card(false), urls);
        QCOMPARE(entered, accepted);
        QCOMPARE(dropped, accepted);
        if (accepted) {
            QCOMPARE(w_->model().after(), urls);
        } else {
            QCOMPARE(Published(w_->model()).differences(before), QStringList());
        }
        QVERIFY(w_->model().before().isEmpty());
    }

    void dropsDuringARunAreRefused() {
        writeScript(w_->home, script({waitForTerm()}));
        w_->model().select(fileUrls({"/o/a.pdf"}), true);
        w_->model().select(fileUrls({"/n/a.pdf"}), false);
        w_->model().start();
        QVERIFY(w_->model().running());
        QCOMPARE(dragAndDrop(card(true), {fileUrl("/in/b.pdf")}), std::make_pair(false, false));
        QVERIFY(!card(true)->accepts({fileUrl("/in/b.pdf")}));
        QCOMPARE(w_->model().before().size(), 1);
    }

    void addButtonAsksForFiles() {
        QStringList captions;
        w_->model().chooseFiles = [&](const QString& caption) {
            captions.append(caption);
            return QList<QUrl>{fileUrl("/in/x.pdf")};
        };
        button(card(false), "addButton")->click();
        QCOMPARE(captions, QStringList{"変更後のPDFをまとめて選択（追加）"});
        QCOMPARE(w_->model().after(), QList<QUrl>{fileUrl("/in/x.pdf")});
    }

private:
    PdfDropCard* card(bool before) const { return w_->find<PdfDropCard>(before ? "beforeCard" : "afterCard"); }
    static QPushButton* button(const PdfDropCard* card, const char* name) { return child<QPushButton>(*card, name); }

    std::unique_ptr<WindowFixture> w_;
};

QTEST_MAIN(DropCardTest)
#include "drop_card_test.moc"
