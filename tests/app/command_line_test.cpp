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
        const QStringList refused{QStringLiteral("refused")};
        QTest::newRow("none") << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("a pair") << QStringList{"old.pdf", "new.pdf"} << QStringList{"old.pdf"}
                                << QStringList{"new.pdf"};
        QTest::newRow("lists") << QStringList{"--before", "a.pdf", "b.pdf", "--after", "c.pdf", "d.pdf"}
                               << QStringList{"a.pdf", "b.pdf"} << QStringList{"c.pdf", "d.pdf"};
        QTest::newRow("repeated options") << QStringList{"--after", "c.pdf", "--before", "a.pdf", "--after=d.pdf"}
                                          << QStringList{"a.pdf"} << QStringList{"c.pdf", "d.pdf"};
        QTest::newRow("a pair and lists") << QStringList{"old.pdf", "new.pdf", "--before", "x.pdf"}
                                          << QStringList{"old.pdf", "x.pdf"} << QStringList{"new.pdf"};
        QTest::newRow("after --, a name like an option")
            << QStringList{"--", "-old.pdf", "new.pdf"} << QStringList{"-old.pdf"} << QStringList{"new.pdf"};
        QTest::newRow("one file alone") << QStringList{"old.pdf"} << refused << QStringList{};
        QTest::newRow("three files") << QStringList{"a.pdf", "b.pdf", "c.pdf"} << refused << QStringList{};
        QTest::newRow("a list without a file")
            << QStringList{"--before", "--after", "c.pdf"} << refused << QStringList{};
        QTest::newRow("an unknown option") << QStringList{"--frobnicate"} << refused << QStringList{};
    }
    void filesOfTheCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        arguments.prepend(QStringLiteral("tesmira"));
        const std::optional<StartFiles> files = readCommandLine(arguments);
        if (before == QStringList{QStringLiteral("refused")}) {
            QVERIFY(!files);
            return;
        }
        QVERIFY(files);
        QCOMPARE(files->before, before);
        QCOMPARE(files->after, after);
    }

    // Added as a drop would add them: PDFs go in, anything else is refused with the cards' message.
    void startFilesAreCheckedAsDropsAre() {
        TestHome home;
        const QString old = home.scratch() + QStringLiteral("/old.pdf"), changed = home.scratch() + "/new.pdf";
        writeSamplePdf(old, 1, 0);
        writeSamplePdf(changed, 1, 1);
        {
            ProofModel model;
            addStartFiles(model, {{old}, {changed}});
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
        addStartFiles(model, {{text}, {changed}});
        QVERIFY(model.before().isEmpty());
        QCOMPARE(model.after(), QList<QUrl>{fileUrl(changed)});
        QCOMPARE(model.error(), std::optional(QStringLiteral("PDFファイルだけを選択してください。")));
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
        process.start(QStringLiteral(TESMIRA_APPLICATION), {QStringLiteral("only-one.pdf")});
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardError().contains("give OLD.pdf and NEW.pdf together"));
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
