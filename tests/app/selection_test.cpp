// Choosing files, the pairing check and the start readiness.
#include <QSysInfo>
#include <QTest>

#include "model_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;

namespace {

QStringList names(const QList<QUrl>& urls) {
    QStringList out;
    for (const QUrl& url : urls) out.append(url.fileName());
    return out;
}

QStringList paths(const QList<QUrl>& urls) {
    QStringList out;
    for (const QUrl& url : urls) out.append(url.toLocalFile());
    return out;
}

// A finished run's state, as a "complete" event leaves it.
void giveResults(ProofModel& model) {
    const char* pages[] = {
        R"({"page": 1, "file": "b.pdf", "strict_file": "厳密比較_b.pdf", "regions": 2, "changed_percent": 0.5, "source_name": "b.pdf"})",
        R"({"page": 2, "file": "b.pdf", "strict_file": "厳密比較_b.pdf", "regions": 0, "changed_percent": 0, "source_name": "b.pdf"})",
        R"({"page": 1, "file": "a.pdf", "strict_file": "厳密比較_a.pdf", "regions": 1, "changed_percent": 1.25, "source_name": "a.pdf"})",
        R"({"page": 1, "file": "c.pdf", "strict_file": null, "regions": 1, "changed_percent": 1, "source_name": "c.pdf"})"};
    Json event = Json::parse(R"({"event": "complete", "output": "/out/r", "pages": []})");
    for (const char* page : pages) event["pages"].push_back(Json::parse(page));
    model.receive(event);
    QVERIFY(!model.results().isEmpty());
}

// Starts a fake worker that waits until it is stopped, so that the model is running.
void startWaitingWorker(ProofModel& model, const TestHome& home) {
    writeScript(home,
                script({out(R"({"event": "start", "total": 1})"
                            "\n"),
                        waitForTerm()}));
    model.workerProgram = TESMIRA_FAKE_WORKER;
    model.select({fileUrl("/in/old/a.pdf")}, true);
    model.select({fileUrl("/in/new/a.pdf")}, false);
    model.start();
    QVERIFY(model.running());
    QVERIFY(QTest::qWaitFor([&] { return model.status().startsWith("全"); }, 60000));
}

void expectInvalidated(const ProofModel& model, const QString& status) {
    QVERIFY(model.results().isEmpty());
    QVERIFY(!model.output());
    QCOMPARE(model.progress(), 0.0);
    QVERIFY(!model.error());
    QCOMPARE(model.status(), status);
}

}  // namespace

class SelectionTest : public QObject {
    Q_OBJECT

private slots:
    void init() { home_ = std::make_unique<TestHome>(); }
    void cleanup() { home_.reset(); }

    void initialState() {
        ProofModel model;
        QCOMPARE(model.status(), QStringLiteral("新旧のPDFを選んでください"));
        QVERIFY(!model.error() && !model.output() && !model.running() && !model.archiveMode());
        QVERIFY(model.before().isEmpty() && model.after().isEmpty() && model.archiveProjects().isEmpty());
        QVERIFY(!QFile::exists(ArchiveRootProbe()));  // creating the model lists no projects
    }

    void onlyPdfUrlsAreAccepted_data() {
        QTest::addColumn<QList<QUrl>>("batch");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("upper-case extension") << QList<QUrl>{fileUrl("/in/A.PDF")} << true;
        QTest::newRow("mixed-case extension") << QList<QUrl>{fileUrl("/in/a.Pdf")} << true;
        QTest::newRow("Japanese name with blanks") << QList<QUrl>{fileUrl("/in/新 カタログ 2.pdf")} << true;
        QTest::newRow("second extension") << QList<QUrl>{fileUrl("/in/a.pdf.txt")} << false;
        QTest::newRow("no extension") << QList<QUrl>{fileUrl("/in/pdf")} << false;
        QTest::newRow("not a file URL") << QList<QUrl>{QUrl("https://example.com/a.pdf")} << false;
        QTest::newRow("host localhost") << QList<QUrl>{QUrl("file://localhost/in/a.pdf")} << true;
        QTest::newRow("this machine's name")
            << QList<QUrl>{QUrl("file://" + QSysInfo::machineHostName() + "/in/a.pdf")} << true;
        QTest::newRow("another machine") << QList<QUrl>{QUrl("file://elsewhere.example/in/a.pdf")} << false;
        QTest::newRow("one bad URL in a batch") << QList<QUrl>{fileUrl("/in/a.pdf"), fileUrl("/in/b.txt")} << false;
        QTest::newRow("empty batch") << QList<QUrl>{} << false;
    }
    void onlyPdfUrlsAreAccepted() {
        QFETCH(QList<QUrl>, batch);
        QFETCH(bool, accepted);
        ProofModel model;
        model.select({fileUrl("/in/x.pdf")}, false);
        giveResults(model);
        const Published before(model);
        model.select(batch, false);
        if (accepted) {
            QCOMPARE(model.after().size(), 2);
            expectInvalidated(model, CHOSEN);
            return;
        }
        // Refused: only the error changed, and nothing of the batch was added.
        Published expected = before;
        expected.error = QStringLiteral("PDFファイルだけを選択してください。");
        QCOMPARE(Published(model).differences(expected), QStringList());
    }

    void mergesByStandardizedPathAndKeepsTheFirst() {
        ProofModel model;
        const QString dir = home_->scratch();
        model.select({fileUrl(dir + "/a.pdf"), fileUrl(dir + "/./a.pdf"), fileUrl(dir + "//x/../a.pdf")}, true);
        QCOMPARE(paths(model.before()), QStringList{dir + "/a.pdf"});
        model.select({fileUrl(dir + "/sub/../a.pdf")}, true);
        QCOMPARE(model.before().size(), 1);
        // The same name from another folder is a second file; the one added first stays in front.
        model.select({fileUrl(dir + "/z/a.pdf"), fileUrl(dir + "/b.pdf")}, true);
        QCOMPARE(paths(model.before()), (QStringList{dir + "/a.pdf", dir + "/z/a.pdf", dir + "/b.pdf"}));
        // The URL is kept as it was given.
        model.select({fileUrl(dir + "/c/./c.pdf")}, true);
        QCOMPARE(model.before().last(), fileUrl(dir + "/c/./c.pdf"));
        // A host of this machine is no part of the path.
        model.select({QUrl("file://localhost" + dir + "/b.pdf")}, true);
        QCOMPARE(model.before().size(), 4);
        QVERIFY(model.after().isEmpty());
    }

    void hundredFilesPerSide() {
        ProofModel model;
        QList<QUrl> ninetyNine;
        for (int i = 0; i < 99; ++i) ninetyNine.append(fileUrl(QString("/in/%1.pdf").arg(i, 3, 10, QChar('0'))));
        model.select(ninetyNine, true);
        QCOMPARE(model.before().size(), 99);

        model.select({fileUrl("/in/x1.pdf"), fileUrl("/in/x2.pdf")}, true);
        QCOMPARE(model.error(), std::optional(QStringLiteral("各側100ファイル以内にしてください。")));
        QCOMPARE(model.before().size(), 99);

        // Two of the three are there already: the side reaches exactly 100.
        model.select({ninetyNine[0], fileUrl("/in/x1.pdf"), ninetyNine[5]}, true);
        QVERIFY(!model.error());
        QCOMPARE(model.before().size(), 100);
        model.select({fileUrl("/in/x2.pdf")}, true);
        QCOMPARE(model.before().size(), 100);
        QVERIFY(model.error());
    }

    void sortsByCodePointsOfNfcNames() {
        ProofModel model;
        model.select(fileUrls({"/in/b.pdf", "/in/B.pdf", "/in/a.pdf", "/in/10.pdf", "/in/9.pdf"}), false);
        QCOMPARE(names(model.after()), (QStringList{"10.pdf", "9.pdf", "B.pdf", "a.pdf", "b.pdf"}));
        // A decomposed kana sorts as its composed form: "ガ" (U+30AC) before "キ" (U+30AD).
        ProofModel kana;
        kana.select(fileUrls({"/in/キ.pdf", QString::fromUtf8("/in/\u30AB\u3099.pdf")}), true);
        QCOMPARE(kana.before()[1].fileName(), QStringLiteral("キ.pdf"));
        // Equal names keep their order: the files already there first, then the new ones.
        kana.select(fileUrls({"/z/キ.pdf", "/a/キ.pdf"}), true);
        QCOMPARE(paths(kana.before()).mid(1), (QStringList{"/in/キ.pdf", "/z/キ.pdf", "/a/キ.pdf"}));
    }

    void everySelectionChangeClearsTheLastRun() {
        ProofModel model;
        model.select(fileUrls({"/in/a.pdf", "/in/b.pdf", "/in/a.pdf"}), true);
        model.select(fileUrls({"/in/a.pdf"}), false);
        giveResults(model);
        model.setError(QStringLiteral("前の失敗"));
        model.remove(fileUrl("/in/none.pdf"), true);  // removes nothing, still clears
        expectInvalidated(model, CHOSEN);
        QCOMPARE(model.before().size(), 2);

        giveResults(model);
        model.remove(fileUrl("/in/a.pdf"), true);
        QCOMPARE(paths(model.before()), QStringList{"/in/b.pdf"});
        QCOMPARE(model.after().size(), 1);
        expectInvalidated(model, CHOSEN);

        giveResults(model);
        model.remove(std::nullopt, false);
        QVERIFY(model.after().isEmpty());
        QCOMPARE(model.before().size(), 1);
        expectInvalidated(model, CHOSEN);
    }

    void resetKeepsTheArchiveSelection() {
        ProofModel model;
        model.setArchiveMode(true);
        model.setArchiveProjectID("0123456789abcdef0123456789abcdef");
        model.setNewProjectName("案件");
        model.select(fileUrls({"/in/a.pdf"}), true);
        model.select(fileUrls({"/in/a.pdf"}), false);
        giveResults(model);
        model.reset();
        QVERIFY(model.before().isEmpty() && model.after().isEmpty());
        expectInvalidated(model, QStringLiteral("リセットしました。次のPDFを選んでください。"));
        QVERIFY(model.archiveMode());
        QCOMPARE(model.archiveProjectID(), QStringLiteral("0123456789abcdef0123456789abcdef"));
        QCOMPARE(model.newProjectName(), QStringLiteral("案件"));
    }

    // One signal before every write, in the order of the operation, also for equal values.
    void changeSignalsComeOncePerWriteInOrder() {
        ProofModel model;
        model.select(fileUrls({"/in/a.pdf"}), true);
        model.select(fileUrls({"/in/a.pdf"}), false);
        giveResults(model);
        model.setError(QStringLiteral("前の失敗"));
        {
            WriteLog log(model);
            model.reset();
            QCOMPARE(log.writes(),
                     (QStringList{"before", "after", "results", "output", "progress", "error", "status", "status"}));
        }
        {
            WriteLog log(model);
            model.select(fileUrls({"/in/a.pdf"}), false);
            QCOMPARE(log.writes(), (QStringList{"after", "(same)", "(same)", "(same)", "(same)", "status"}));
        }
        {
            WriteLog log(model);
            model.setArchiveMode(false);
            model.setNewProjectName("");
            model.remove(std::nullopt, true);  // an empty side stays empty: still one write
            QCOMPARE(log.count(), 2 + 6);
        }
        {
            WriteLog log(model);
            model.select({}, true);
            QCOMPARE(log.writes(), QStringList{"error"});
        }
        {
            WriteLog log(model);
            (void)model.matchIssue();
            (void)model.canStart();
            (void)model.status();
            QCOMPARE(log.count(), 0);
        }
    }

    void nothingChangesWhileRunning() {
        ProofModel model;
        startWaitingWorker(model, *home_);
        int asked = 0;
        model.chooseFiles = [&](const QString&) {
            ++asked;
            return QList<QUrl>{fileUrl("/in/z.pdf")};
        };
        const Published before(model);
        {
            WriteLog log(model);
            model.select({fileUrl("/in/b.pdf")}, true);
            model.select({fileUrl("/in/b.txt")}, false);
            model.remove(std::nullopt, true);
            model.reset();
            model.choose(true);
            model.createArchiveProject();
            QCOMPARE(log.count(), 0);
        }
        QCOMPARE(asked, 0);
        QCOMPARE(Published(model).differences(before), QStringList());
        QVERIFY(!model.canStart());
        model.cancel();
        QVERIFY(settles(model));
    }

    void chooseAsksTheWindowForFiles() {
        ProofModel model;
        model.choose(true);  // without a window nothing happens
        QStringList captions;
        QList<QUrl> answer{fileUrl("/in/b.pdf"), fileUrl("/in/a.pdf")};
        model.chooseFiles = [&](const QString& caption) {
            captions.append(caption);
            return answer;
        };
        model.choose(true);
        answer = {};  // dismissed
        model.choose(false);
        QCOMPARE(captions, (QStringList{"変更前のPDFをまとめて選択（追加）", "変更後のPDFをまとめて選択（追加）"}));
        QCOMPARE(names(model.before()), (QStringList{"a.pdf", "b.pdf"}));
        QVERIFY(model.after().isEmpty());
        QCOMPARE(model.status(), CHOSEN);
    }

    void revealShowsEachResultPdfOnceInNameOrder() {
        ProofModel model;
        QList<QList<QUrl>> shown;
        model.showInFileManager = [&](const QList<QUrl>& files) { shown.append(files); };
        model.reveal();
        QVERIFY(shown.isEmpty());  // no run yet
        giveResults(model);
        model.reveal();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(
            paths(shown[0]),
            (QStringList{
                "/out/r/a.pdf", "/out/r/b.pdf", "/out/r/c.pdf", "/out/r/厳密比較_a.pdf", "/out/r/厳密比較_b.pdf"}));
        // A run with no rows still asks, with an empty list.
        model.receive(Json::parse(R"({"event": "complete", "output": "/out/s", "pages": []})"));
        model.reveal();
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown[1].isEmpty());
    }

    void showSettingsUsesTheWindowsHook() {
        ProofModel model;
        model.showSettings();
        int opened = 0;
        model.showSettingsWindow = [&] { ++opened; };
        model.showSettings();
        QCOMPARE(opened, 1);
    }

    void pairing_data() {
        QTest::addColumn<bool>("archive");
        QTest::addColumn<QString>("project");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("issue");  // "" for none
        QTest::addColumn<bool>("canStart");
        const QString p = QStringLiteral("0123456789abcdef0123456789abcdef");
        const QString ga = QStringLiteral("/d/\u30AC.pdf"), gaDecomposed = QString::fromUtf8("/e/\u30AB\u3099.pdf");
        QTest::newRow("nothing chosen") << false << "" << QStringList{} << QStringList{} << "" << false;
        QTest::newRow("only old") << false << "" << QStringList{"/o/a.pdf"} << QStringList{} << "" << false;
        QTest::newRow("only new") << false << "" << QStringList{} << QStringList{"/n/a.pdf"} << "" << false;
        QTest::newRow("one and one, any names")
            << false << "" << QStringList{"/o/A.pdf"} << QStringList{"/n/B.pdf"} << "" << true;
        QTest::newRow("names match") << false << "" << QStringList{"/o/a.pdf", "/o/b.pdf"}
                                     << QStringList{"/n/b.pdf", "/n/a.pdf"} << "" << true;
        QTest::newRow("both sides unmatched")
            << false << "" << QStringList{"/o/a.pdf", "/o/b.pdf"} << QStringList{"/n/a.pdf", "/n/c.pdf"}
            << "変更前だけ: b.pdf\n変更後だけ: c.pdf" << false;
        QTest::newRow("case differs") << false << "" << QStringList{"/o/A.pdf", "/o/x.pdf"}
                                      << QStringList{"/n/a.pdf", "/n/x.pdf"} << "変更前だけ: A.pdf\n変更後だけ: a.pdf"
                                      << false;
        QTest::newRow("sorted and joined")
            << false << "" << QStringList{"/o/b.pdf", "/o/a.pdf", "/o/c.pdf"} << QStringList{"/n/c.pdf", "/n/d.pdf"}
            << "変更前だけ: a.pdf、b.pdf\n変更後だけ: d.pdf" << false;
        QTest::newRow("only the old line") << false << "" << QStringList{"/o/a.pdf", "/o/b.pdf", "/o/c.pdf"}
                                           << QStringList{"/n/a.pdf", "/n/b.pdf"} << "変更前だけ: c.pdf" << false;
        QTest::newRow("only the new line")
            << false << "" << QStringList{"/o/a.pdf", "/o/b.pdf"} << QStringList{"/n/a.pdf", "/n/b.pdf", "/n/c.pdf"}
            << "変更後だけ: c.pdf" << false;
        QTest::newRow("decomposed matches precomposed")
            << false << "" << QStringList{ga, "/o/x.pdf"} << QStringList{gaDecomposed, "/n/x.pdf"} << "" << true;
        QTest::newRow("old duplicate wins over unmatched")
            << false << "" << QStringList{"/o/a.pdf", "/p/a.pdf", "/o/b.pdf"} << QStringList{"/n/c.pdf"}
            << "変更前に同名の重複: a.pdf" << false;
        QTest::newRow("old duplicates before new ones")
            << false << "" << QStringList{"/o/b.pdf", "/p/b.pdf", "/o/a.pdf", "/p/a.pdf"}
            << QStringList{"/n/c.pdf", "/m/c.pdf"} << "変更前に同名の重複: a.pdf、b.pdf" << false;
        QTest::newRow("new duplicate") << false << "" << QStringList{"/o/a.pdf"} << QStringList{"/n/a.pdf", "/m/a.pdf"}
                                       << "変更後に同名の重複: a.pdf" << false;
        QTest::newRow("duplicate by normal form")
            << false << "" << QStringList{ga, gaDecomposed} << QStringList{"/n/a.pdf"}
            << "変更前に同名の重複: \u30AC.pdf" << false;
        QTest::newRow("archive: nothing new, no project")
            << true << "" << QStringList{"/o/a.pdf"} << QStringList{} << "" << false;
        QTest::newRow("archive: no project") << true << "" << QStringList{"/o/zzz.pdf"} << QStringList{"/n/a.pdf"}
                                             << "保存版の案件を選択してください。" << false;
        QTest::newRow("archive: ready, old files ignored")
            << true << p << QStringList{"/o/zzz.pdf", "/p/zzz.pdf"} << QStringList{"/n/a.pdf"} << "" << true;
        QTest::newRow("archive: ready without old files")
            << true << p << QStringList{} << QStringList{"/n/a.pdf", "/n/b.pdf"} << "" << true;
        QTest::newRow("archive: names equal but for case")
            << true << p << QStringList{} << QStringList{"/n/Plan.pdf", "/m/plan.pdf"}
            << "同名または大文字小文字だけが異なる原稿が重複しています。" << false;
        QTest::newRow("archive: full lower-case mapping")
            << true << p << QStringList{} << QStringList{"/n/\u0130.pdf", QString::fromUtf8("/m/i\u0307.pdf")}
            << "同名または大文字小文字だけが異なる原稿が重複しています。" << false;
        QTest::newRow("archive: same name twice")
            << true << p << QStringList{} << QStringList{"/n/a.pdf", "/m/a.pdf"}
            << "同名または大文字小文字だけが異なる原稿が重複しています。" << false;
    }
    void pairing() {
        QFETCH(bool, archive);
        QFETCH(QString, project);
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(QString, issue);
        QFETCH(bool, canStart);
        ProofModel model;
        model.setArchiveMode(archive);
        model.setArchiveProjectID(project);
        for (const QString& path : before) model.select({fileUrl(path)}, true);
        for (const QString& path : after) model.select({fileUrl(path)}, false);
        QCOMPARE(model.before().size(), before.size());
        QCOMPARE(model.matchIssue().value_or(QString()), issue);
        QCOMPARE(model.canStart(), canStart);
    }

    void runningPreventsStart() {
        ProofModel model;
        startWaitingWorker(model, *home_);
        QCOMPARE(model.matchIssue(), std::nullopt);
        QVERIFY(!model.canStart());
        model.cancel();
        QVERIFY(settles(model));
        QVERIFY(model.canStart());
    }

private:
    QString ArchiveRootProbe() const { return home_->path() + QStringLiteral("/てすみら保存版"); }
    std::unique_ptr<TestHome> home_;
};

QTEST_GUILESS_MAIN(SelectionTest)
#include "selection_test.moc"
