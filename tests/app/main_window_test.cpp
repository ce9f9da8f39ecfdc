// The main window, built offscreen: the controls for each state of the model, the layout, the
// guarded parts of the refresh, and the archive mode.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>

#include "app/model/archive_library.hpp"
#include "app/ui/line_limited_label.hpp"
#include "app/ui/pdf_drop_card.hpp"
#include "window_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;
using namespace tesmira::ui;

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { w_ = std::make_unique<WindowFixture>(); }
    void cleanup() { w_.reset(); }

    void windowIsBuiltButNotShown() {
        QVERIFY(!w_->window->isVisible());
        QCOMPARE(w_->window->windowTitle(),
                 QStringLiteral("てすみら v" TESMIRA_VERSION "（") + QSysInfo::buildCpuArchitecture() + "）");
        QCOMPARE(w_->window->centralWidget()->minimumSize(), QSize(900, 560));
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
        w_->window->resize(1080, 760);
        w_->model().select({fileUrl("/in/a.pdf")}, true);
        settleWindow();
        w_->window->grab();  // lays the window out
        QCOMPARE(button("startButton")->width(), 300);
        QCOMPARE(w_->find<QProgressBar>("progressBar")->width(), 300);
        const QWidget* inputs = w_->find<QScrollArea>("inputScrollArea")->widget();
        QCOMPARE(card(true)->width(), inputs->width() - 4);
        QCOMPARE(card(false)->width(), inputs->width() - 4);
        QCOMPARE(w_->find<QLabel>("settingsSummaryLabel")->width(), inputs->width());
        QCOMPARE(status()->width(), 300);
        QVERIFY(w_->find("preview")->width() >= 420);
    }

    void idleState() {
        QVERIFY(shown("emptyPreviewLabel"));
        QCOMPARE(w_->find<LineLimitedLabel>("resultTitleLabel")->fullText(), QStringLiteral("検版結果"));
        QVERIFY(!button("previousButton")->isEnabled() && !button("nextButton")->isEnabled());
        QVERIFY(!button("startButton")->isEnabled());
        QCOMPARE(button("startButton")->text(), QStringLiteral("検版する"));
        QVERIFY(!button("resetButton")->isEnabled());
        for (const char* hidden : {"baselineButton",
                                   "cancelButton",
                                   "progressBar",
                                   "projectCombo",
                                   "projectNameEdit",
                                   "createProjectButton",
                                   "openArchiveButton",
                                   "projectHintLabel"})
            QVERIFY2(!shown(hidden), hidden);
        QVERIFY(card(true)->isVisibleTo(w_->window.get()));
        QCOMPARE(status()->fullText(), QStringLiteral("新旧のPDFを選んでください"));
        QCOMPARE(w_->find<QLabel>("settingsSummaryLabel")->text(), QStringLiteral("300dpi\u3000刻印あり"));
        // Nothing was rebuilt or loaded: no project items, no document.
        QCOMPARE(projects()->count(), 0);
        QCOMPARE(projects()->currentIndex(), -1);
        QCOMPARE(w_->find<ResultPreview>("preview")->document(), nullptr);
    }

    void filesChosenAndMismatched() {
        w_->model().select(fileUrls({"/o/a.pdf", "/o/b.pdf"}), true);
        w_->model().select(fileUrls({"/n/a.pdf", "/n/b.pdf"}), false);
        settleWindow();
        QVERIFY(button("startButton")->isEnabled());
        QVERIFY(button("resetButton")->isEnabled());
        QCOMPARE(status()->fullText(), CHOSEN);

        w_->model().select(fileUrls({"/n/c.pdf"}), false);
        w_->model().setError(QStringLiteral("前の失敗"));
        settleWindow();
        const QString expected = CHOSEN + "\n変更後だけ: c.pdf\n前の失敗";
        QCOMPARE(status()->fullText(), expected);
        QCOMPARE(status()->toolTip(), expected);
        QVERIFY(!button("startButton")->isEnabled());
    }

    void settingsSummaryFollowsTheSettings() {
        QLabel* summary = w_->find<QLabel>("settingsSummaryLabel");
        settleWindow();
        w_->model().settings().setDpi(144);
        w_->model().settings().setStamp(false);
        settleWindow();
        QCOMPARE(summary->text(), QStringLiteral("300dpi\u3000刻印あり"));  // settings changes alone refresh nothing
        w_->model().setError(std::nullopt);
        settleWindow();
        QCOMPARE(summary->text(), QStringLiteral("144dpi\u3000刻印なし"));
    }

    void refreshComesLaterThanTheChange() {
        w_->model().setError(QStringLiteral("新しい失敗"));
        QVERIFY(!status()->fullText().contains("新しい失敗"));
        settleWindow();
        QVERIFY(status()->fullText().contains("新しい失敗"));
    }

    void runningState() {
        writeScript(w_->home, script({out(line(R"({"event": "start", "total": 3})")), waitForTerm()}));
        w_->model().select(fileUrls({"/o/a.pdf"}), true);
        w_->model().select(fileUrls({"/n/a.pdf"}), false);
        settleWindow();
        button("startButton")->click();
        QVERIFY(QTest::qWaitFor([&] { return status()->fullText() == "全3ページを比較します"; }, 60000));
        const QList<QWidget*> disabled{w_->find("modeCombo"),
                                       projects(),
                                       w_->find("projectNameEdit"),
                                       button("createProjectButton"),
                                       button("openArchiveButton"),
                                       button("resetButton"),
                                       button("startButton"),
                                       button("baselineButton"),
                                       child<QPushButton>(*card(true), "addButton"),
                                       child<QPushButton>(*card(false), "removeButton"),
                                       child<QPushButton>(*card(false), "clearButton")};
        for (QWidget* control : disabled) QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
        QVERIFY(shown("cancelButton"));
        QVERIFY(shown("progressBar"));
        // Choosing a mode does nothing while running.
        choose(w_->find<QComboBox>("modeCombo"), 1);
        QVERIFY(!w_->model().archiveMode());

        button("cancelButton")->click();
        QVERIFY(settles(w_->model()));
        settleWindow();
        QCOMPARE(status()->fullText(), QStringLiteral("中止しました。未完成の結果は保存しません。"));
        QVERIFY(!shown("cancelButton"));
        QVERIFY(button("resetButton")->isEnabled());
    }

    void archiveMode() {
        w_->model().select(fileUrls({"/o/a.pdf"}), true);
        w_->model().select(fileUrls({"/n/a.pdf"}), false);
        choose(w_->find<QComboBox>("modeCombo"), 1);
        settleWindow();
        QVERIFY(w_->model().archiveMode());
        QVERIFY(!card(true)->isVisibleTo(w_->window.get()));
        for (const char* name : {"projectCombo",
                                 "projectNameEdit",
                                 "createProjectButton",
                                 "openArchiveButton",
                                 "projectHintLabel",
                                 "baselineButton"})
            QVERIFY2(shown(name), name);
        QCOMPARE(button("startButton")->text(), QStringLiteral("保存版と比較して更新"));
        QVERIFY(!button("startButton")->isEnabled() && !button("baselineButton")->isEnabled());
        QCOMPARE(status()->fullText(), CHOSEN + "\n保存版の案件を選択してください。");

        // A project made from the window is selected at once.
        auto* name = w_->find<QLineEdit>("projectNameEdit");
        name->setText(QStringLiteral("  春のカタログ "));
        button("createProjectButton")->click();
        settleWindow();
        QCOMPARE(name->text(), QString());
        QCOMPARE(projects()->count(), 1);
        QCOMPARE(projects()->currentIndex(), 0);
        QCOMPARE(projects()->currentText(), QStringLiteral("春のカタログ"));
        QVERIFY(button("startButton")->isEnabled() && button("baselineButton")->isEnabled());
        // A refused name stays in the field, with the model's message.
        name->setText(QStringLiteral("春のカタログ"));
        button("createProjectButton")->click();
        settleWindow();
        QCOMPARE(name->text(), QStringLiteral("春のカタログ"));
        QVERIFY(status()->fullText().endsWith("同じ名前の案件があります。既存の案件を選んでください。"));

        // Choosing no project in the pop-up clears the model's choice.
        choose(projects(), -1);
        settleWindow();
        QCOMPARE(w_->model().archiveProjectID(), QString());
        choose(projects(), 0);
        QCOMPARE(w_->model().archiveProjectID(), w_->model().archiveProjects()[0].id);

        // An id that the listing no longer holds: no item selected, the model keeps it.
        w_->model().setArchiveProjectID("ffffffffffffffffffffffffffffffff");
        settleWindow();
        QCOMPARE(projects()->currentIndex(), -1);
        QCOMPARE(w_->model().archiveProjectID(), QStringLiteral("ffffffffffffffffffffffffffffffff"));

        choose(w_->find<QComboBox>("modeCombo"), 0);
        settleWindow();
        QVERIFY(card(true)->isVisibleTo(w_->window.get()) && !shown("baselineButton"));
    }

    void projectItemsAreRebuiltOnlyWhenTheListChanges() {
        ArchiveLibrary::create(QStringLiteral("案件2"));
        ArchiveLibrary::create(QStringLiteral("案件10"));
        int rebuilt = 0;
        connect(projects()->model(), &QAbstractItemModel::rowsRemoved, [&] { ++rebuilt; });
        w_->model().refreshArchiveProjects();
        settleWindow();
        QCOMPARE(rebuilt, 0);  // the list was empty: only added to
        QCOMPARE(projects()->count(), 2);
        QCOMPARE(projects()->itemText(0), QStringLiteral("案件2"));
        for (int i = 0; i < 3; ++i) {
            w_->model().refreshArchiveProjects();
            settleWindow();
        }
        QCOMPARE(rebuilt, 0);
        ArchiveLibrary::create(QStringLiteral("案件1"));
        w_->model().refreshArchiveProjects();
        settleWindow();
        QCOMPARE(rebuilt, 1);
        QCOMPARE(projects()->itemText(0), QStringLiteral("案件1"));
        QCOMPARE(projects()->itemData(0).toString(), w_->model().archiveProjects()[0].id);
    }

    void openArchiveRefusesALinkedRoot() {
        QVERIFY(QDir(ArchiveLibrary::root()).removeRecursively());
        QDir().mkpath(w_->home.scratch() + "/elsewhere");
        QVERIFY(QFile::link(w_->home.scratch() + "/elsewhere", ArchiveLibrary::root()));
        choose(w_->find<QComboBox>("modeCombo"), 1);
        button("openArchiveButton")->click();
        settleWindow();
        QVERIFY(status()->fullText().endsWith("保存版フォルダーのリンクは使用できません。"));
    }

    void missingWorkerIsShownAndTheWindowStaysUsable() {
        w_->model().workerProgram = w_->home.scratch() + "/worker/TesmiraWorker";
        w_->model().select(fileUrls({"/o/a.pdf"}), true);
        w_->model().select(fileUrls({"/n/a.pdf"}), false);
        settleWindow();
        button("startButton")->click();
        settleWindow();
        QVERIFY(status()->fullText().endsWith("検版エンジンが見つかりません。アプリを再ビルドしてください。"));
        QVERIFY(button("startButton")->isEnabled() && button("resetButton")->isEnabled());
        button("resetButton")->click();
        settleWindow();
        QCOMPARE(status()->fullText(), QStringLiteral("リセットしました。次のPDFを選んでください。"));
    }

private:
    QPushButton* button(const char* name) const { return w_->find<QPushButton>(name); }
    LineLimitedLabel* status() const { return w_->find<LineLimitedLabel>("statusLabel"); }
    QComboBox* projects() const { return w_->find<QComboBox>("projectCombo"); }
    PdfDropCard* card(bool before) const { return w_->find<PdfDropCard>(before ? "beforeCard" : "afterCard"); }
    bool shown(const char* name) const { return w_->find(name)->isVisibleTo(w_->window.get()); }

    std::unique_ptr<WindowFixture> w_;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
