// The main window, built offscreen: the controls for each state of the model, the guarded
// parts of the refresh, the drop cards, the settings window, the menus and quitting.
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenuBar>
#include <QPdfDocument>
#include <QPdfPageNavigator>
#include <QPdfView>
#include <QProgressBar>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>

#include "app/model/archive_library.hpp"
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

std::string line(const std::string& json) { return json + "\n"; }

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

// The result PDF in the preview: the file of the page loaded last, when it could be opened.
QString loadedFile(const DezaroziDelegate& d) {
    if (!d.pdf->document() || d.pdf->document()->status() != QPdfDocument::Status::Ready) return QString();
    return d.previewKey.section(QLatin1Char('#'), 0, 0);
}

QAction* menuAction(QMainWindow& window, const QString& text) {
    for (QAction* menu : window.menuBar()->actions())
        for (QAction* action : menu->menu()->actions())
            if (action->text() == text) return action;
    return nullptr;
}

const QString CHOSEN = QStringLiteral("同じファイル名・同じページ番号同士を比較します");

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        home_ = std::make_unique<TestHome>();
        d_ = std::make_unique<DezaroziDelegate>();
        d_->model.workerProgram = TESMIRA_FAKE_WORKER;
        d_->askToStopRun = [this] {
            ++questions_;
            return answer_;
        };
        questions_ = 0;
        d_->createWindow(false);
    }
    void cleanup() {
        if (d_->model.running()) {
            d_->model.cancel();
            QVERIFY(settles(d_->model));
        }
        d_.reset();
        home_.reset();
    }

    void windowIsBuiltButNotShown() {
        QVERIFY(d_->window);
        QVERIFY(!d_->window->isVisible());
        QCOMPARE(d_->window->windowTitle(), QStringLiteral("てすみら v" TESMIRA_VERSION "（") + QSysInfo::buildCpuArchitecture() + "）");
        QCOMPARE(d_->window->centralWidget()->minimumSize(), QSize(900, 560));
        QVERIFY(QFileInfo(ArchiveLibrary::root()).isDir());  // the project list was read
    }

    void contentSizeFollowsTheScreen_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("content");
        QTest::newRow("large") << QSize(1440, 875) << QSize(1080, 740);
        QTest::newRow("small") << QSize(1024, 668) << QSize(992, 604);
        QTest::newRow("no screen") << QSize(1280, 800) << QSize(1080, 736);
    }
    void contentSizeFollowsTheScreen() {
        QFETCH(QSize, screen);
        QFETCH(QSize, content);
        QCOMPARE(contentSize(screen), content);
    }

    void layoutWidths() {
        d_->window->resize(1080, 760);
        d_->model.select({fileUrl("/in/a.pdf")}, true);
        settleWindow();
        d_->window->grab();  // lays the window out
        QCOMPARE(d_->startButton->width(), 300);
        QCOMPARE(d_->progress->width(), 300);
        QWidget* inputStack = qobject_cast<QScrollArea*>(d_->mode->parentWidget()->parentWidget()->parentWidget())->widget();
        QCOMPARE(d_->beforeCard->width(), inputStack->width() - 4);
        QCOMPARE(d_->afterCard->width(), inputStack->width() - 4);
        QCOMPARE(d_->settingsSummary->width(), inputStack->width());
        QCOMPARE(d_->status->width(), 300);
        QVERIFY(d_->pdf->width() >= 420);
    }

    void idleState() {
        QVERIFY(d_->emptyPreview->isVisibleTo(d_->window.get()));
        QCOMPARE(d_->resultTitle->fullText(), QStringLiteral("検版結果"));
        QVERIFY(!d_->previous->isEnabled() && !d_->next->isEnabled());
        QVERIFY(!d_->startButton->isEnabled());
        QCOMPARE(d_->startButton->text(), QStringLiteral("検版する"));
        QVERIFY(!d_->resetButton->isEnabled());
        for (QWidget* hidden : std::initializer_list<QWidget*>{d_->baseline, d_->cancelButton, d_->progress, d_->projects, d_->name,
                                                               d_->createProject, d_->openArchive, d_->projectHint})
            QVERIFY2(!hidden->isVisibleTo(d_->window.get()), qPrintable(hidden->metaObject()->className()));
        QVERIFY(d_->beforeCard->isVisibleTo(d_->window.get()));
        QCOMPARE(d_->status->fullText(), QStringLiteral("新旧のPDFを選んでください"));
        QCOMPARE(d_->settingsSummary->text(), QStringLiteral("300dpi\u3000刻印あり"));
        QVERIFY(d_->projectSignature.isEmpty() && d_->resultSignature.isEmpty() && d_->previewKey.isEmpty());
        QCOMPARE(d_->projects->currentIndex(), -1);
    }

    void filesChosenAndMismatched() {
        d_->model.select(fileUrls({"/o/a.pdf", "/o/b.pdf"}), true);
        d_->model.select(fileUrls({"/n/a.pdf", "/n/b.pdf"}), false);
        settleWindow();
        QVERIFY(d_->startButton->isEnabled());
        QVERIFY(d_->resetButton->isEnabled());
        QCOMPARE(d_->status->fullText(), CHOSEN);

        d_->model.select(fileUrls({"/n/c.pdf"}), false);
        d_->model.setError(QStringLiteral("前の失敗"));
        settleWindow();
        const QString expected = CHOSEN + "\n変更後だけ: c.pdf\n前の失敗";
        QCOMPARE(d_->status->fullText(), expected);
        QCOMPARE(d_->status->toolTip(), expected);
        QVERIFY(!d_->startButton->isEnabled());
    }

    void settingsSummaryFollowsTheSettings() {
        settleWindow();
        d_->model.settings().setDpi(144);
        d_->model.settings().setStamp(false);
        settleWindow();
        QCOMPARE(d_->settingsSummary->text(), QStringLiteral("300dpi\u3000刻印あり"));  // settings changes alone refresh nothing
        d_->model.setError(std::nullopt);
        settleWindow();
        QCOMPARE(d_->settingsSummary->text(), QStringLiteral("144dpi\u3000刻印なし"));
    }

    void refreshComesLaterThanTheChange() {
        d_->model.setError(QStringLiteral("新しい失敗"));
        QVERIFY(!d_->status->fullText().contains("新しい失敗"));
        settleWindow();
        QVERIFY(d_->status->fullText().contains("新しい失敗"));
    }

    void runningState() {
        writeScript(*home_, script({out(line(R"({"event": "start", "total": 3})")), waitForTerm()}));
        d_->model.select(fileUrls({"/o/a.pdf"}), true);
        d_->model.select(fileUrls({"/n/a.pdf"}), false);
        settleWindow();
        d_->startButton->click();
        QVERIFY(QTest::qWaitFor([&] { return d_->status->fullText() == "全3ページを比較します"; }, 20000));
        for (QWidget* disabled : std::initializer_list<QWidget*>{d_->mode, d_->projects, d_->name, d_->createProject, d_->openArchive,
                                                                 d_->resetButton, d_->startButton, d_->baseline, d_->beforeCard->add,
                                                                 d_->afterCard->remove, d_->afterCard->clear})
            QVERIFY(!disabled->isEnabled());
        QVERIFY(d_->cancelButton->isVisibleTo(d_->window.get()));
        QVERIFY(d_->progress->isVisibleTo(d_->window.get()));
        // Choosing a mode does nothing while running.
        d_->mode->setCurrentIndex(1);
        d_->modeChanged();
        QVERIFY(!d_->model.archiveMode());

        d_->cancelButton->click();
        QVERIFY(settles(d_->model));
        settleWindow();
        QCOMPARE(d_->status->fullText(), QStringLiteral("中止しました。未完成の結果は保存しません。"));
        QVERIFY(!d_->cancelButton->isVisibleTo(d_->window.get()));
        QVERIFY(d_->resetButton->isEnabled());
    }

    void finishedRunShowsTheFirstResult() {
        const QString output = home_->downloads() + "/てすみら検版_x";
        writeSamplePdf(output + "/検版_a.pdf", 2, 0);
        writeSamplePdf(output + "/厳密比較_a.pdf", 2, 1);
        writeSamplePdf(output + "/検版_b.pdf", 1, 0);
        const Json complete = completeEvent(output, {{"検版_a.pdf", 1, "厳密比較_a.pdf"}, {"検版_a.pdf", 2, "厳密比較_a.pdf"}, {"検版_b.pdf", 1, ""}});
        writeScript(*home_, script({out(line(complete.dump()))}));
        d_->model.select(fileUrls({"/o/a.pdf", "/o/b.pdf"}), true);
        d_->model.select(fileUrls({"/n/a.pdf", "/n/b.pdf"}), false);
        d_->model.start();
        QVERIFY(settles(d_->model));
        settleWindow();

        QCOMPARE(d_->selected, 0);
        QVERIFY(!d_->emptyPreview->isVisibleTo(d_->window.get()));
        QCOMPARE(loadedFile(*d_), QStringLiteral("検版_a.pdf"));
        QCOMPARE(d_->pdf->pageNavigator()->currentPage(), 0);
        QCOMPARE(d_->previewKey, QStringLiteral("検版_a.pdf#1"));
        QCOMPARE(d_->resultTitle->fullText(), QStringLiteral("1 / 3\u3000カタログ.pdf\u30001ページ\u30002か所"));
        QVERIFY(!d_->previous->isEnabled() && d_->next->isEnabled());
        QVERIFY(d_->strict->isEnabled() && !d_->strict->isChecked());

        // The strict twin of the same page, also when assistive technology toggles the box.
        d_->strict->click();
        QCOMPARE(loadedFile(*d_), QStringLiteral("厳密比較_a.pdf"));
        QAccessibleInterface* box = QAccessible::queryAccessibleInterface(d_->strict);
        QVERIFY(box && box->actionInterface());
        box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(!d_->strict->isChecked());
        QCOMPARE(loadedFile(*d_), QStringLiteral("検版_a.pdf"));
        box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(loadedFile(*d_), QStringLiteral("厳密比較_a.pdf"));
        // The next page of the same PDF is another page of a new load.
        d_->next->click();
        QCOMPARE(d_->previewKey, QStringLiteral("厳密比較_a.pdf#2"));
        QCOMPARE(d_->pdf->pageNavigator()->currentPage(), 1);
        // A page without a twin: the checkbox stays on but cannot be used, and the plain PDF shows.
        d_->next->click();
        QVERIFY(d_->strict->isChecked() && !d_->strict->isEnabled());
        QCOMPARE(loadedFile(*d_), QStringLiteral("検版_b.pdf"));
        QVERIFY(!d_->next->isEnabled());
        d_->next->click();
        QCOMPARE(d_->selected, 2);
        d_->previous->click();
        QCOMPARE(loadedFile(*d_), QStringLiteral("厳密比較_a.pdf"));

        // The same results again keep the selection, the checkbox and the loaded document.
        const QPdfDocument* loaded = d_->pdf->document();
        d_->model.receive(complete);
        settleWindow();
        QCOMPARE(d_->selected, 1);
        QVERIFY(d_->strict->isChecked());
        QCOMPARE(d_->pdf->document(), loaded);
        // Other results start again at the first row with the checkbox off.
        d_->model.receive(completeEvent(output, {{"検版_b.pdf", 1, ""}}));
        settleWindow();
        QCOMPARE(d_->selected, 0);
        QVERIFY(!d_->strict->isChecked());
        QCOMPARE(loadedFile(*d_), QStringLiteral("検版_b.pdf"));
        // Clearing the results shows the empty preview.
        d_->resetButton->click();
        settleWindow();
        QVERIFY(d_->emptyPreview->isVisibleTo(d_->window.get()));
        QCOMPARE(d_->pdf->document(), nullptr);
        QVERIFY(d_->previewKey.isEmpty());
    }

    void previewIsLoadedOnlyWhenTheKeyChanges() {
        const QString output = home_->downloads() + "/r";
        writeSamplePdf(output + "/x.pdf", 1);
        d_->model.receive(completeEvent(output, {{"x.pdf", 1, ""}}));
        settleWindow();
        const QPdfDocument* loaded = d_->pdf->document();
        QVERIFY(loaded);
        for (int i = 0; i < 3; ++i) {
            d_->model.setError(QString::number(i));
            settleWindow();
        }
        QCOMPARE(d_->pdf->document(), loaded);
    }

    void missingResultPdfLeavesAnEmptyPreview() {
        const QString output = home_->downloads() + "/gone";
        d_->model.receive(completeEvent(output, {{"x.pdf", 1, ""}, {"y.pdf", 5, ""}}));
        settleWindow();
        QCOMPARE(d_->pdf->document(), nullptr);
        QCOMPARE(d_->resultTitle->fullText(), QStringLiteral("1 / 2\u3000カタログ.pdf\u30001ページ\u30002か所"));
        QCOMPARE(d_->previewKey, QStringLiteral("x.pdf#1"));
        // A page number beyond the document: it stays on its first page.
        writeSamplePdf(output + "/y.pdf", 1);
        d_->next->click();
        QCOMPARE(loadedFile(*d_), QStringLiteral("y.pdf"));
        QCOMPARE(d_->pdf->pageNavigator()->currentPage(), 0);
    }

    void archiveMode() {
        d_->model.select(fileUrls({"/o/a.pdf"}), true);
        d_->model.select(fileUrls({"/n/a.pdf"}), false);
        d_->mode->setCurrentIndex(1);
        d_->modeChanged();
        settleWindow();
        QVERIFY(d_->model.archiveMode());
        QVERIFY(!d_->beforeCard->isVisibleTo(d_->window.get()));
        for (QWidget* shown : std::initializer_list<QWidget*>{d_->projects, d_->name, d_->createProject, d_->openArchive,
                                                              d_->projectHint, d_->baseline})
            QVERIFY(shown->isVisibleTo(d_->window.get()));
        QCOMPARE(d_->startButton->text(), QStringLiteral("保存版と比較して更新"));
        QVERIFY(!d_->startButton->isEnabled() && !d_->baseline->isEnabled());
        QCOMPARE(d_->status->fullText(), CHOSEN + "\n保存版の案件を選択してください。");

        // A project made from the window is selected at once.
        d_->name->setText(QStringLiteral("  春のカタログ "));
        d_->createProject->click();
        settleWindow();
        QCOMPARE(d_->name->text(), QString());
        QCOMPARE(d_->projects->count(), 1);
        QCOMPARE(d_->projects->currentIndex(), 0);
        QCOMPARE(d_->projects->currentText(), QStringLiteral("春のカタログ"));
        QVERIFY(d_->startButton->isEnabled() && d_->baseline->isEnabled());
        // A refused name stays in the field, with the model's message.
        d_->name->setText(QStringLiteral("春のカタログ"));
        d_->createProject->click();
        settleWindow();
        QCOMPARE(d_->name->text(), QStringLiteral("春のカタログ"));
        QVERIFY(d_->status->fullText().endsWith("同じ名前の案件があります。既存の案件を選んでください。"));

        // Choosing no project in the pop-up clears the model's choice.
        d_->projects->setCurrentIndex(-1);
        d_->projectChanged();
        settleWindow();
        QCOMPARE(d_->model.archiveProjectID(), QString());
        d_->projects->setCurrentIndex(0);
        d_->projectChanged();
        QCOMPARE(d_->model.archiveProjectID(), d_->model.archiveProjects()[0].id);

        // An id that the listing no longer holds: no item selected, the model keeps it.
        d_->model.setArchiveProjectID("ffffffffffffffffffffffffffffffff");
        settleWindow();
        QCOMPARE(d_->projects->currentIndex(), -1);
        QCOMPARE(d_->model.archiveProjectID(), QStringLiteral("ffffffffffffffffffffffffffffffff"));

        d_->mode->setCurrentIndex(0);
        d_->modeChanged();
        settleWindow();
        QVERIFY(d_->beforeCard->isVisibleTo(d_->window.get()) && !d_->baseline->isVisibleTo(d_->window.get()));
    }

    void projectItemsAreRebuiltOnlyWhenTheListChanges() {
        ArchiveLibrary::create(QStringLiteral("案件2"));
        ArchiveLibrary::create(QStringLiteral("案件10"));
        int rebuilt = 0;
        connect(d_->projects->model(), &QAbstractItemModel::rowsRemoved, [&] { ++rebuilt; });
        d_->model.refreshArchiveProjects();
        settleWindow();
        QCOMPARE(rebuilt, 0);  // the list was empty: only added to
        QCOMPARE(d_->projects->count(), 2);
        QCOMPARE(d_->projects->itemText(0), QStringLiteral("案件2"));
        for (int i = 0; i < 3; ++i) {
            d_->model.refreshArchiveProjects();
            settleWindow();
        }
        QCOMPARE(rebuilt, 0);
        ArchiveLibrary::create(QStringLiteral("案件1"));
        d_->model.refreshArchiveProjects();
        settleWindow();
        QCOMPARE(rebuilt, 1);
        QCOMPARE(d_->projects->itemText(0), QStringLiteral("案件1"));
        QCOMPARE(d_->projects->itemData(0).toString(), d_->model.archiveProjects()[0].id);
    }

    void openArchiveRefusesALinkedRoot() {
        QVERIFY(QDir(ArchiveLibrary::root()).removeRecursively());
        QDir().mkpath(home_->scratch() + "/elsewhere");
        QVERIFY(QFile::link(home_->scratch() + "/elsewhere", ArchiveLibrary::root()));
        d_->mode->setCurrentIndex(1);
        d_->modeChanged();
        d_->openArchive->click();
        settleWindow();
        QVERIFY(d_->status->fullText().endsWith("保存版フォルダーのリンクは使用できません。"));
    }

    void missingWorkerIsShownAndTheWindowStaysUsable() {
        d_->model.workerProgram = home_->scratch() + "/worker/TesmiraWorker";
        d_->model.select(fileUrls({"/o/a.pdf"}), true);
        d_->model.select(fileUrls({"/n/a.pdf"}), false);
        settleWindow();
        d_->startButton->click();
        settleWindow();
        QVERIFY(d_->status->fullText().endsWith("検版エンジンが見つかりません。アプリを再ビルドしてください。"));
        QVERIFY(d_->startButton->isEnabled() && d_->resetButton->isEnabled());
        d_->resetButton->click();
        settleWindow();
        QCOMPARE(d_->status->fullText(), QStringLiteral("リセットしました。次のPDFを選んでください。"));
    }

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
        if (files) d_->model.select(urls, true);
        settleWindow();
        DezaroziDropCard* card = d_->beforeCard;
        QCOMPARE(card->table->height(), height);
        QCOMPARE(card->table->isVisibleTo(card), files > 0);
        for (QWidget* control : std::initializer_list<QWidget*>{card->count, card->remove, card->clear})
            QCOMPARE(control->isVisibleTo(card), files > 0);
        QVERIFY(card->add->isVisibleTo(card));
        if (files) QCOMPARE(card->count->text(), QString::number(files) + "件");
        QCOMPARE(card->table->model()->rowCount(), files);
        for (int row = 0; row < files; ++row) {
            const QModelIndex index = card->table->model()->index(row, 0);
            QCOMPARE(index.data().toString(), QString("%1.pdf").arg(row));
            QCOMPARE(index.data(Qt::ToolTipRole).toString(), QString("/in/フォルダ %1/%1.pdf").arg(row));
            QCOMPARE(card->table->visualRect(index).height(), 26);
        }
        QCOMPARE(card->add->text(), QStringLiteral("A\u3000変更前のPDFを追加…"));
        QCOMPARE(d_->afterCard->add->text(), QStringLiteral("B\u3000変更後のPDFを追加…"));
        QVERIFY(!d_->afterCard->table->isVisibleTo(d_->afterCard));
    }

    void removeSelectedRowsInAscendingOrder() {
        d_->model.select(fileUrls({"/in/a.pdf", "/in/b.pdf", "/in/c.pdf"}), true);
        d_->model.select(fileUrls({"/in/a.pdf"}), false);
        settleWindow();
        DezaroziDropCard* card = d_->beforeCard;
        QList<QUrl> removed;
        QObject guard;
        card->table->selectionModel()->select(card->table->model()->index(2, 0), QItemSelectionModel::Select);
        card->table->selectionModel()->select(card->table->model()->index(0, 0), QItemSelectionModel::Select);
        WriteLog log(d_->model);
        card->remove->click();
        QCOMPARE(d_->model.before(), QList<QUrl>{fileUrl("/in/b.pdf")});
        // Two removals, row 0 first: each writes the side, then clears the last run.
        QCOMPARE(log.count(), 12);
        QCOMPARE(log.writes().first(), QStringLiteral("before"));
        QCOMPARE(d_->model.after().size(), 1);
        // Nothing selected: nothing happens.
        settleWindow();
        WriteLog none(d_->model);
        card->remove->click();
        QCOMPARE(none.count(), 0);
        // Clear empties only its own side.
        d_->afterCard->clear->click();
        QVERIFY(d_->model.after().isEmpty());
        QCOMPARE(d_->model.before().size(), 1);
    }

    void drops_data() {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("one PDF") << QList<QUrl>{fileUrl("/in/a.pdf")} << true;
        QTest::newRow("extensions in any case") << QList<QUrl>{fileUrl("/in/a.pdf"), fileUrl("/in/b.PDF"), fileUrl("/in/c.Pdf")} << true;
        QTest::newRow("a PDF and a text file") << QList<QUrl>{fileUrl("/in/a.PDF"), fileUrl("/in/b.txt")} << false;
        QTest::newRow("a text file") << QList<QUrl>{fileUrl("/in/notes.txt")} << false;
        QTest::newRow("a folder") << QList<QUrl>{fileUrl("/in/folder/")} << false;
        QTest::newRow("not a file") << QList<QUrl>{QUrl("https://example.com/a.pdf")} << false;
        QTest::newRow("nothing") << QList<QUrl>{} << false;
    }
    void drops() {
        QFETCH(QList<QUrl>, urls);
        QFETCH(bool, accepted);
        const Published before(d_->model);
        const auto [entered, dropped] = dragAndDrop(d_->afterCard, urls);
        QCOMPARE(entered, accepted);
        QCOMPARE(dropped, accepted);
        if (accepted) {
            QCOMPARE(d_->model.after(), urls);
        } else {
            QCOMPARE(Published(d_->model).differences(before), QStringList());
        }
        QVERIFY(d_->model.before().isEmpty());
    }

    void dropsDuringARunAreRefused() {
        writeScript(*home_, script({waitForTerm()}));
        d_->model.select(fileUrls({"/o/a.pdf"}), true);
        d_->model.select(fileUrls({"/n/a.pdf"}), false);
        d_->model.start();
        QVERIFY(d_->model.running());
        QCOMPARE(dragAndDrop(d_->beforeCard, {fileUrl("/in/b.pdf")}), std::make_pair(false, false));
        QVERIFY(!d_->beforeCard->accepts({fileUrl("/in/b.pdf")}));
        QCOMPARE(d_->model.before().size(), 1);
    }

    void addButtonAsksForFiles() {
        QStringList captions;
        d_->model.chooseFiles = [&](const QString& caption) {
            captions.append(caption);
            return QList<QUrl>{fileUrl("/in/x.pdf")};
        };
        d_->afterCard->add->click();
        QCOMPARE(captions, QStringList{"変更後のPDFをまとめて選択（追加）"});
        QCOMPARE(d_->model.after(), QList<QUrl>{fileUrl("/in/x.pdf")});
    }

    void settingsParsing_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<bool>("parsed");
        QTest::newRow("digits") << "255" << qint64(255) << true;
        QTest::newRow("plus sign") << "+5" << qint64(5) << true;
        QTest::newRow("minus sign") << "-1" << qint64(-1) << true;
        QTest::newRow("leading zeros") << "007" << qint64(7) << true;
        QTest::newRow("largest") << "9223372036854775807" << std::numeric_limits<qint64>::max() << true;
        QTest::newRow("smallest") << "-9223372036854775808" << std::numeric_limits<qint64>::min() << true;
        QTest::newRow("too large") << "9223372036854775808" << qint64(0) << false;
        QTest::newRow("leading space") << " 5" << qint64(0) << false;
        QTest::newRow("trailing space") << "5 " << qint64(0) << false;
        QTest::newRow("fraction") << "5.0" << qint64(0) << false;
        QTest::newRow("empty") << "" << qint64(0) << false;
        QTest::newRow("sign only") << "+" << qint64(0) << false;
        QTest::newRow("letters") << "abc" << qint64(0) << false;
        QTest::newRow("full-width digits") << "５" << qint64(0) << false;
        QTest::newRow("two signs") << "+-5" << qint64(0) << false;
    }
    void settingsParsing() {
        QFETCH(QString, text);
        QFETCH(qint64, value);
        QFETCH(bool, parsed);
        const auto result = parseSettingInteger(text);
        QCOMPARE(result.has_value(), parsed);
        if (parsed) QCOMPARE(*result, value);
    }

    void settingsRanges_data() {
        QTest::addColumn<QString>("tolerance");
        QTest::addColumn<QString>("opacity");
        QTest::addColumn<QString>("border");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("lowest") << "0" << "0" << "1" << true;
        QTest::newRow("highest") << "255" << "100" << "6" << true;
        QTest::newRow("plus sign") << "+5" << "+50" << "+3" << true;
        QTest::newRow("tolerance 256") << "256" << "10" << "2" << false;
        QTest::newRow("opacity 101") << "1" << "101" << "2" << false;
        QTest::newRow("border 0") << "1" << "10" << "0" << false;
        QTest::newRow("border 7") << "1" << "10" << "7" << false;
        QTest::newRow("minus one") << "-1" << "10" << "2" << false;
        QTest::newRow("letters") << "abc" << "10" << "2" << false;
        QTest::newRow("empty") << "1" << "" << "2" << false;
        QTest::newRow("leading space") << " 5" << "10" << "2" << false;
        QTest::newRow("fraction") << "5.0" << "10" << "2" << false;
    }
    void settingsRanges() {
        QFETCH(QString, tolerance);
        QFETCH(QString, opacity);
        QFETCH(QString, border);
        QFETCH(bool, accepted);
        QStringList alerts;
        DezaroziSettings::alert = [&](QWidget*, const QString& message) { alerts.append(message); };
        d_->model.showSettings();
        DezaroziSettings* window = DezaroziSettings::instance();
        QVERIFY(window && window->isVisible());
        window->resolution->setCurrentIndex(1);
        window->tolerance->setText(tolerance);
        window->opacity->setText(opacity);
        window->border->setText(border);
        window->grain->setChecked(true);
        QList<Json> seen;
        connect(&d_->model.settings(), &ProofSettings::willChange, [&] { seen.append(d_->model.settings().dictionary()); });
        window->save();
        if (!accepted) {
            QCOMPARE(alerts, QStringList{"設定値の範囲を確認してください。"});
            QVERIFY(seen.isEmpty());
            QVERIFY(!QFile::exists(ProofSettings::settingsFile()));
            QVERIFY(window->isVisible());
            QCOMPARE(window->tolerance->text(), tolerance);  // left as typed
            return;
        }
        QVERIFY(alerts.isEmpty());
        QVERIFY(!window->isVisible());
        QCOMPARE(seen.size(), 7);  // one assignment per setting
        seen.append(d_->model.settings().dictionary());
        const char* order[] = {"dpi", "tolerance", "opacity", "border", "stamp", "tiny_markers", "grain"};
        for (int i = 0; i < 7; ++i)
            for (const auto& [key, value] : seen[i].items())
                if (seen[i + 1][key] != value) QCOMPARE(QString(key.c_str()), QString(order[i]));
        QCOMPARE(d_->model.settings().dpi(), 200);
        QCOMPARE(d_->model.settings().tolerance(), parseSettingInteger(tolerance).value());
        QVERIFY(d_->model.settings().grain());
    }

    void settingsWindowIsOneAndComesBackAsLeft() {
        d_->model.settings().setDpi(150);
        d_->showSettings();
        DezaroziSettings* window = DezaroziSettings::instance();
        QCOMPARE(window->resolution->currentText(), QStringLiteral("300 dpi（標準）"));
        window->tolerance->setText("42");
        window->close();
        QVERIFY(!window->isVisible());
        // Opened again, from the menu and while a run is going: the same window, as it was left.
        writeScript(*home_, script({waitForTerm()}));
        d_->model.select(fileUrls({"/o/a.pdf"}), true);
        d_->model.select(fileUrls({"/n/a.pdf"}), false);
        d_->model.start();
        QAction* settings = menuAction(*d_->window, "設定…");
        QVERIFY(settings);
        QCOMPARE(settings->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        settings->trigger();
        QCOMPARE(DezaroziSettings::instance(), window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->tolerance->text(), QStringLiteral("42"));
        QCOMPARE(d_->model.settings().tolerance(), 1);
        // Saving with the unknown resolution shown stores 300.
        window->save();
        QCOMPARE(d_->model.settings().dpi(), 300);
        QCOMPARE(d_->model.settings().tolerance(), 42);
    }

    void settingsResetReplacesTheWindow() {
        d_->model.settings().setOpacity(70);
        d_->model.settings().setGrain(true);
        d_->showSettings();
        DezaroziSettings* old = DezaroziSettings::instance();
        QPointer<DezaroziSettings> guard(old);
        old->opacity->setText("55");
        old->resetToDefaults();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!guard);  // the old window is gone
        DezaroziSettings* fresh = DezaroziSettings::instance();
        QVERIFY(fresh && fresh->isVisible());
        QCOMPARE(fresh->opacity->text(), QStringLiteral("10"));
        QVERIFY(!fresh->grain->isChecked() && fresh->stamp->isChecked());
        QCOMPARE(fresh->resolution->currentIndex(), 2);
        QCOMPARE(d_->model.settings().opacity(), 10);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY((fresh->geometry().center() - area.center()).manhattanLength() <= 2);
    }

    void menus() {
        QMenuBar* bar = d_->window->menuBar();
        QStringList titles;
        for (QAction* menu : bar->actions()) {
            QStringList items;
            for (QAction* action : menu->menu()->actions()) items.append(action->text() + "=" + action->shortcut().toString());
            titles.append(menu->text() + ": " + items.join(", "));
        }
        QCOMPARE(titles, (QStringList{"てすみら: 設定…=Ctrl+,, てすみらを終了=Ctrl+Q",
                                      "編集: カット=Ctrl+X, コピー=Ctrl+C, ペースト=Ctrl+V, すべてを選択=Ctrl+A"}));
    }

    void editMenuActsOnTheFocusedField() {
        d_->window->show();
        d_->mode->setCurrentIndex(1);
        d_->modeChanged();
        settleWindow();
        d_->name->setText(QStringLiteral("案件名"));
        d_->name->setFocus();
        QApplication::setActiveWindow(d_->window.get());
        QVERIFY(QTest::qWaitFor([&] { return QApplication::focusWidget() == d_->name; }, 5000));
        menuAction(*d_->window, "すべてを選択")->trigger();
        QCOMPARE(d_->name->selectedText(), QStringLiteral("案件名"));
        menuAction(*d_->window, "カット")->trigger();
        QCOMPARE(d_->name->text(), QString());
        menuAction(*d_->window, "ペースト")->trigger();
        menuAction(*d_->window, "ペースト")->trigger();
        QCOMPARE(d_->name->text(), QStringLiteral("案件名案件名"));
    }

    void quitting() {
        // No run: no question.
        QVERIFY(d_->shouldQuit());
        QCOMPARE(questions_, 0);

        writeScript(*home_, script({out(line(R"({"event": "start", "total": 2})")), waitForTerm()}));
        d_->model.select(fileUrls({"/o/a.pdf"}), true);
        d_->model.select(fileUrls({"/n/a.pdf"}), false);
        d_->model.start();
        QVERIFY(QTest::qWaitFor([&] { return d_->model.status() == "全2ページを比較します"; }, 20000));
        // "続ける": closing the window is refused, and the run goes on.
        answer_ = false;
        d_->window->show();
        QVERIFY(!d_->window->close());
        QVERIFY(d_->window->isVisible());
        QCOMPARE(questions_, 1);
        QVERIFY(!d_->shouldQuit());
        QCOMPARE(questions_, 2);
        QVERIFY(d_->model.running());
        QVERIFY(signalRecord(*home_).isEmpty());
        // "中止して終了": SIGTERM, and the application may quit without waiting.
        answer_ = true;
        QVERIFY(d_->shouldQuit());
        QCOMPARE(d_->model.status(), QStringLiteral("中止しています…"));
        QVERIFY(QTest::qWaitFor([&] { return signalRecord(*home_) == "SIGTERM\n"; }, 20000));
    }

    // A screen reader asks for children by index; the count must not change under it when a
    // scroll bar comes or goes, and an index past the end must be answered, not followed.
    void scrollAreasAnswerAssistiveTechnologySafely() {
        auto* input = qobject_cast<QScrollArea*>(d_->mode->parentWidget()->parentWidget()->parentWidget());
        QVERIFY(input);
        for (QAbstractScrollArea* area : std::initializer_list<QAbstractScrollArea*>{input, d_->pdf}) {
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

    // "中止して終了" with the real worker: the application goes at once, and the worker, left
    // to itself, removes its partial result folder.
    void quittingDuringARealRunLeavesNothingBehind() {
        const QString old = home_->scratch() + "/a.pdf", now = home_->scratch() + "/b/a.pdf";
        writeSamplePdf(old, 8, 0, 595, 842);
        writeSamplePdf(now, 8, 1, 595, 842);
        d_->model.workerProgram = TESMIRA_WORKER;
        d_->model.select({fileUrl(old)}, true);
        d_->model.select({fileUrl(now)}, false);
        d_->model.start();
        const QDir downloads(home_->downloads());
        const auto entries = [&] { return downloads.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); };
        QVERIFY(QTest::qWaitFor([&] { return d_->model.status().contains("ページを検版中") && !entries().isEmpty(); }, 60000));
        answer_ = true;
        QVERIFY(d_->shouldQuit());
        d_.reset();  // the application ends without waiting for the worker
        QVERIFY(QTest::qWaitFor([&] { return entries().isEmpty(); }, 30000));
        d_ = std::make_unique<DezaroziDelegate>();  // for cleanup()
    }

    void labelKeepsToItsLines() {
        LineLimitedLabel label(2);
        label.resize(120, 200);
        const QString sentence = QStringLiteral("とても長い状態の文章がここに入り、四行を超えて続いていきます。さらに続きます。");
        label.setFullText(sentence);
        QCOMPARE(label.text().count('\n'), 1);
        QVERIFY(label.text().endsWith(QStringLiteral("…")));
        // Assistive technology gets the text as it was given, not as it is wrapped and cut.
        QCOMPARE(QAccessible::queryAccessibleInterface(&label)->text(QAccessible::Name), sentence);
        label.setFullText(QStringLiteral("短い"));
        QCOMPARE(label.text(), QStringLiteral("短い"));
        label.setFullText(QStringLiteral("一\n二\n三"));
        QCOMPARE(label.text(), QStringLiteral("一\n二…"));
    }

    // The status and the result title as a screen reader reads them in the window.
    void wrappedLabelsReadWhole() {
        const QString message = QStringLiteral("ここにとても長い失敗の説明が入ります。") .repeated(6);
        d_->model.setError(message);
        d_->window->resize(1080, 760);
        settleWindow();
        d_->window->grab();
        QVERIFY(d_->status->text().contains('\n'));
        QCOMPARE(QAccessible::queryAccessibleInterface(d_->status)->text(QAccessible::Name),
                 QStringLiteral("新旧のPDFを選んでください\n") + message);
    }

    // A message of a million characters shows as its first lines, reads whole, and a refresh
    // that keeps the text lays nothing out again.
    void longMessageSettles() {
        d_->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(d_->window.get()));
        const QString message(1000000, QChar(0x3042));
        d_->model.setError(message);
        settleWindow();
        QCOMPARE(d_->status->text().count('\n'), 3);
        QVERIFY(d_->status->text().endsWith(QStringLiteral("…")));
        QCOMPARE(QAccessible::queryAccessibleInterface(d_->status)->text(QAccessible::Name),
                 QStringLiteral("新旧のPDFを選んでください\n") + message);
        struct LayoutRequests : QObject {
            int count = 0;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::LayoutRequest) ++count;
                return false;
            }
        } requests;
        d_->status->parentWidget()->installEventFilter(&requests);
        d_->model.setError(message);  // the same text once more
        settleWindow();
        QCOMPARE(requests.count, 0);
    }

    // Qt's own panels speak the desktop's language.
    void qtTranslationsForJapanese() {
        QVERIFY(installQtTranslations(QLocale(QLocale::Japanese, QLocale::Japan)));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Open"), QStringLiteral("開く"));
        QVERIFY(!installQtTranslations(QLocale(QLocale::Zulu)));
    }

private:
    std::unique_ptr<TestHome> home_;
    std::unique_ptr<DezaroziDelegate> d_;
    int questions_ = 0;
    bool answer_ = false;
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
