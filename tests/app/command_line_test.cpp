// The desktop program's command line: the files it names, its refusals, and --help and
// --version without a display.
#include <QProcess>
#include <QTest>

#include "app/model/proof_model.hpp"
#include "app/ui/command_line.hpp"
#include "model_test_support.hpp"

using namespace tesmira::app;
using namespace tesmira::app::testing;
using namespace tesmira::ui;

namespace {

// The program's output and status, run without any display.
struct ProgramRun {
    int status = -1;
    QString out, err;
};

ProgramRun runWithoutDisplay(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TESMIRA_APPLICATION), arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void filesOfTheCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("before");  // {"refused"} for a refusal
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QStringList>("eitherSide");
        const QStringList refused{QStringLiteral("refused")}, none;
        QTest::newRow("none") << none << none << none << none;
        QTest::newRow("a pair") << QStringList{"old.pdf", "new.pdf"} << QStringList{"old.pdf"} << QStringList{"new.pdf"}
                                << none;
        QTest::newRow("lists") << QStringList{"--before", "a.pdf", "b.pdf", "--after", "c.pdf", "d.pdf"}
                               << QStringList{"a.pdf", "b.pdf"} << QStringList{"c.pdf", "d.pdf"} << none;
        QTest::newRow("repeated options") << QStringList{"--after", "c.pdf", "--before", "a.pdf", "--after=d.pdf"}
                                          << QStringList{"a.pdf"} << QStringList{"c.pdf", "d.pdf"} << none;
        QTest::newRow("a pair and lists") << QStringList{"old.pdf", "new.pdf", "--before", "x.pdf"}
                                          << QStringList{"old.pdf", "x.pdf"} << QStringList{"new.pdf"} << none;
        QTest::newRow("after --, a name like an option")
            << QStringList{"--", "-old.pdf", "new.pdf"} << QStringList{"-old.pdf"} << QStringList{"new.pdf"} << none;
        // As a file manager's "Open with" gives them: for the first side without files.
        QTest::newRow("one file alone") << QStringList{"old.pdf"} << none << none << QStringList{"old.pdf"};
        QTest::newRow("three files") << QStringList{"a.pdf", "b.pdf", "c.pdf"} << none << none
                                     << QStringList{"a.pdf", "b.pdf", "c.pdf"};
        QTest::newRow("one file and a list")
            << QStringList{"a.pdf", "--after", "c.pdf"} << none << QStringList{"c.pdf"} << QStringList{"a.pdf"};
        QTest::newRow("a list without a file")
            << QStringList{"--before", "--after", "c.pdf"} << refused << none << none;
        QTest::newRow("an unknown option") << QStringList{"--frobnicate"} << refused << none << none;
    }
    void filesOfTheCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(QStringList, eitherSide);
        arguments.prepend(QStringLiteral("tesmira"));
        const std::optional<StartFiles> files = readCommandLine(arguments);
        if (before == QStringList{QStringLiteral("refused")}) {
            QVERIFY(!files);
            return;
        }
        QVERIFY(files);
        QCOMPARE(files->before, before);
        QCOMPARE(files->after, after);
        QCOMPARE(files->eitherSide, eitherSide);
    }

    // Added as a drop would add them: PDFs go in, anything else is refused with the cards' message.
    void startFilesAreCheckedAsDropsAre() {
        TestHome home;
        const QString old = home.scratch() + QStringLiteral("/old.pdf"), changed = home.scratch() + "/new.pdf";
        writeSamplePdf(old, 1, 0);
        writeSamplePdf(changed, 1, 1);
        {
            ProofModel model;
            addStartFiles(model, {{old}, {changed}, {}});
            QCOMPARE(model.before(), QList<QUrl>{fileUrl(old)});
            QCOMPARE(model.after(), QList<QUrl>{fileUrl(changed)});
            QCOMPARE(model.error(), std::optional<QString>());
        }
        const QString text = home.scratch() + QStringLiteral("/notes.txt");
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a PDF");
        file.close();
        ProofModel model;
        addStartFiles(model, {{text}, {changed}, {}});
        QVERIFY(model.before().isEmpty());
        QCOMPARE(model.after(), QList<QUrl>{fileUrl(changed)});
        QCOMPARE(model.error(), std::optional(QStringLiteral("PDFファイルだけを選択してください。")));
    }

    // `tesmira one.pdf` puts it on 変更前, the next file on 変更後; a file that cannot be added is
    // told in the window's status.
    void filesWithoutASideGoToTheFirstEmptyOne() {
        TestHome home;
        const QString old = home.scratch() + QStringLiteral("/old.pdf"), changed = home.scratch() + "/new.pdf";
        ProofModel model;
        addStartFiles(model, openedFiles({QStringLiteral("notes.txt")}));
        QCOMPARE(model.error(), std::optional(QStringLiteral("PDFファイルだけを選択してください。")));
        QVERIFY(model.before().isEmpty());
        addStartFiles(model, openedFiles({old}));
        QCOMPARE(model.before(), QList<QUrl>{fileUrl(old)});
        QVERIFY(model.after().isEmpty());
        QCOMPARE(model.error(), std::optional<QString>());
        addStartFiles(model, openedFiles({changed}));
        QCOMPARE(model.before(), QList<QUrl>{fileUrl(old)});
        QCOMPARE(model.after(), QList<QUrl>{fileUrl(changed)});
        addStartFiles(model, openedFiles({home.scratch() + QStringLiteral("/third.pdf")}));
        QCOMPARE(model.before().size(), 1);
        QCOMPARE(model.after().size(), 1);
        QCOMPARE(model.error(),
                 std::optional(QStringLiteral(
                     "変更前と変更後のどちらにもPDFがあります。追加するPDFはカードにドロップしてください。")));
    }

    void helpAndVersionNeedNoDisplay() {
        const ProgramRun help = runWithoutDisplay({QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        QVERIFY2(help.out.contains(QStringLiteral("--before <FILE>")), qPrintable(help.out));
        QVERIFY(help.out.contains(QStringLiteral("[OLD.pdf NEW.pdf]")));
        const ProgramRun version = runWithoutDisplay({QStringLiteral("--version")});
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out, QStringLiteral("tesmira " TESMIRA_VERSION "\n"));
    }

    void aWrongCommandLineExitsTwo() {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TESMIRA_APPLICATION), {QStringLiteral("--before")});
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardError().contains("--before"));
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
