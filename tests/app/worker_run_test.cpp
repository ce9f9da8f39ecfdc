// Starting the worker, reading its events and settling the run: with a fake worker that
// writes exactly the lines a case needs, and with the real worker.
#include <signal.h>

#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include "app/model/archive_library.hpp"
#include "app/model/worker_output.hpp"
#include "common/owned_items.hpp"
#include "model_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;

namespace {

const std::string START2 = line(R"({"event": "start", "total": 2})");
const std::string PROGRESS1 = line(R"({"event": "progress", "page": 1, "total": 2})");
const std::string PROGRESS2 = line(R"({"event": "progress", "page": 2, "total": 2})");
const std::string PAGE1 =
    R"({"page": 1, "file": "検版_a.pdf", "strict_file": null, "regions": 3, "changed_percent": 1.5, "source_name": "a.pdf", "seconds": 0.1})";
const std::string PAGE2 =
    R"({"page": 2, "file": "検版_a.pdf", "strict_file": null, "regions": 0, "changed_percent": 0.0, "source_name": "a.pdf"})";
const std::string COMPLETE = line(R"({"event": "complete", "output": "/out/てすみら検版_x", "pages": [)" + PAGE1 +
                                  ", " + PAGE2 + R"(], "files": [], "pdfs": ["/out/てすみら検版_x/検版_a.pdf"]})");
const std::string COMPLETED_STATUS = "2ページ完了・1件のPDFをダウンロードに保存しました";
const std::string FAILED = "検版できませんでした";
const std::string NO_RESULT = "処理結果を確認できませんでした。";
const std::string FIXED_FAILURE = "処理に失敗しました。PDF・解像度を確認してください。";
const std::string CANCELLED = "中止しました。未完成の結果は保存しません。";

// Every value the status took during a run, in order, without repeats.
class StatusHistory {
public:
    explicit StatusHistory(ProofModel& model)
        : model_(model), connection_(QObject::connect(&model, &ProofModel::willChange, [this] { note(); })) {}
    ~StatusHistory() { QObject::disconnect(connection_); }
    QStringList values() {
        note();
        return values_;
    }

private:
    void note() {
        if (values_.isEmpty() || values_.last() != model_.status()) values_.append(model_.status());
    }
    ProofModel& model_;
    QMetaObject::Connection connection_;
    QStringList values_;
};

QString q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

class WorkerRunTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        home_ = std::make_unique<TestHome>();
        model_ = std::make_unique<ProofModel>();
        model_->workerProgram = TESMIRA_FAKE_WORKER;
        model_->select({fileUrl("/in/old/a.pdf")}, true);
        model_->select({fileUrl("/in/new/a.pdf")}, false);
    }
    void cleanup() {
        model_.reset();
        home_.reset();
    }

    // The lines, cut into reads of every size, give the same events.
    void framing_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("events");  // each event's "event", or its dump when it has none
        QTest::newRow("two lines") << QByteArray("{\"event\": \"a\"}\n{\"event\": \"b\"}\n") << QStringList{"a", "b"};
        QTest::newRow("carriage returns")
            << QByteArray("{\"event\": \"a\"}\r\n{\"event\": \"b\"}\r\n") << QStringList{"a", "b"};
        QTest::newRow("last line unfinished")
            << QByteArray("{\"event\": \"a\"}\n{\"event\": \"b\"}") << QStringList{"a"};
        QTest::newRow("not objects") << QByteArray("[1]\n7\n\"x\"\nnull\n\n \r\n{\"event\": \"a\"}\n")
                                     << QStringList{"a"};
        QTest::newRow("garbage between") << QByteArray("Traceback:\n{\"event\": \"a\"\n{\"event\": \"b\"}\n")
                                         << QStringList{"b"};
        QTest::newRow("invalid UTF-8") << QByteArray("{\"event\": \"\xff\"}\n{\"event\": \"b\"}\n") << QStringList{"b"};
        QTest::newRow("no event key") << QByteArray("{\"total\": 1}\n") << QStringList{"{\"total\":1}"};
        QTest::newRow("nothing") << QByteArray() << QStringList{};
    }
    void framing() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, events);
        for (int size : {1, 2, 3, 7, 1000}) {
            WorkerOutput output;
            QStringList seen;
            for (qsizetype at = 0; at < bytes.size(); at += size) {
                const QByteArray chunk = bytes.mid(at, size);
                for (const Json& event : output.take(std::string_view(chunk.constData(), std::size_t(chunk.size()))))
                    seen.append(q(event.contains("event") && event["event"].is_string()
                                      ? event["event"].get<std::string>()
                                      : event.dump()));
            }
            QCOMPARE(seen, events);
        }
    }

    void lineIsDecodedOnlyWhenItsLineFeedArrives() {
        WorkerOutput output;
        QCOMPARE(output.take(R"({"event": "start", )").size(), std::size_t(0));
        QCOMPARE(output.take(R"("total": 3})").size(), std::size_t(0));
        const auto events = output.take("\n{\"event\": ");
        QCOMPARE(events.size(), std::size_t(1));
        QVERIFY(events[0]["total"] == 3);
        output.clear();  // a new run starts with an empty buffer
        QCOMPARE(output.take("\"x\"}\n").size(), std::size_t(0));
    }

    // A line beyond the limit makes the output unreadable: nothing of it is kept.
    void overlongLines_data() {
        QTest::addColumn<int>("reads");      // the line arrives in this many reads
        QTest::addColumn<bool>("finished");  // with its line feed
        QTest::newRow("unfinished, in many reads") << 40 << false;
        QTest::newRow("unfinished, in one read") << 1 << false;
        QTest::newRow("finished, in one read") << 1 << true;
    }
    void overlongLines() {
        QFETCH(int, reads);
        QFETCH(bool, finished);
        WorkerOutput output;
        QCOMPARE(output.take(START2).size(), std::size_t(1));
        const std::size_t size = WorkerOutput::MAX_LINE_BYTES + 1;
        const std::string chunk(size / std::size_t(reads) + 1, ' ');
        std::size_t events = 0;
        for (int i = 0; i < reads; ++i) events += output.take(chunk).size();
        events += output.take(finished ? "\n" + PROGRESS1 : PROGRESS1).size();
        QCOMPARE(events, std::size_t(0));
        QVERIFY(output.overflowed());
        QCOMPARE(output.take(PROGRESS2).size(), std::size_t(0));
        output.clear();
        QVERIFY(!output.overflowed());
        QCOMPARE(output.take(PROGRESS2).size(), std::size_t(1));
    }

    void aLineAtTheLimitIsTaken() {
        WorkerOutput output;
        std::string event = "{\"event\": \"start\", \"total\": 1, \"pad\": \"";
        event += std::string(WorkerOutput::MAX_LINE_BYTES - event.size() - 2, 'p') + "\"}";
        QCOMPARE(event.size(), WorkerOutput::MAX_LINE_BYTES);
        QCOMPARE(output.take(event + "\n").size(), std::size_t(1));
        QVERIFY(!output.overflowed());
    }

    // A worker that writes without a line feed is stopped, and the run ends unconfirmed,
    // not as cancelled.
    void outputWithoutLineEndsIsStopped() {
        writeScript(*home_, script({out(START2), flood()}));
        model_->start();
        QVERIFY(settles(*model_));
        QCOMPARE(model_->error(), std::optional(q(NO_RESULT)));
        QCOMPARE(model_->status(), QStringLiteral("全2ページを比較します"));
        QCOMPARE(signalRecord(*home_), QByteArray("SIGTERM\n"));
        QCOMPARE(model_->after().size(), 1);
    }

    void outcomes_data() {
        QTest::addColumn<Json>("steps");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("error");  // "<none>" for no error
        QTest::addColumn<bool>("listsKept");
        QTest::addColumn<int>("rows");
        QTest::addColumn<double>("progress");

        const QString none = "<none>";
        QTest::newRow("complete, exit 0") << script({out(START2), out(PROGRESS1), out(PROGRESS2), out(COMPLETE)})
                                          << q(COMPLETED_STATUS) << none << false << 2 << 1.0;
        QTest::newRow("archive comparison")
            << script({out(line(R"({"event": "complete", "output": "/o", "pages": [)" + PAGE1 +
                                R"(], "archive_updated": true, "project": "p"})"))})
            << "1ページ完了・1件のPDFをダウンロードに保存しました\nこの案件の最新保存版も更新しました。過去版は残しています。"
            << none << false << 1 << 1.0;
        QTest::newRow("archive_updated false")
            << script({out(line(R"({"event": "complete", "output": "/o", "pages": [], "archive_updated": false})"))})
            << "0ページ完了・0件のPDFをダウンロードに保存しました" << none << false << 0 << 1.0;
        QTest::newRow("archive_updated not a boolean")
            << script({out(line(R"({"event": "complete", "output": "/o", "pages": [], "archive_updated": 1})"))})
            << "0ページ完了・0件のPDFをダウンロードに保存しました" << none << false << 0 << 1.0;
        QTest::newRow("registration") << script({out(line(R"({"event": "archive_saved", "count": 3, "files": []})"))})
                                      << "3件を初回保存しました。次回は新しいPDFだけで比較できます。" << none << false
                                      << 0 << 1.0;
        QTest::newRow("registration without count")
            << script({out(line(R"({"event": "archive_saved", "count": "3"})"))})
            << "0件を初回保存しました。次回は新しいPDFだけで比較できます。" << none << false << 0 << 1.0;
        QTest::newRow("error, exit 1")
            << script({out(START2),
                       out(PROGRESS1),
                       out(line(R"({"event": "error", "message": "新旧PDFのページ数が異なります。"})")),
                       exitWith(1)})
            << q(FAILED) << "新旧PDFのページ数が異なります。" << true << 0 << 0.0;
        QTest::newRow("error with empty message")
            << script({out(line(R"({"event": "error", "message": ""})")), exitWith(1)}) << q(FAILED) << "" << true << 0
            << 0.0;
        QTest::newRow("error without message")
            << script({out(line(R"({"event": "error", "message": 5})")), exitWith(1)}) << q(FAILED)
            << "処理できませんでした。" << true << 0 << 0.0;
        QTest::newRow("exit 1 without event")
            << script({out(START2), exitWith(1)}) << q(FAILED) << q(FIXED_FAILURE) << true << 0 << 0.0;
        QTest::newRow("exit 2, garbage only") << script({out("usage: TesmiraWorker [-h]\n"),
                                                         err("error: the following arguments are required\n"),
                                                         exitWith(2)})
                                              << q(FAILED) << q(FIXED_FAILURE) << true << 0 << 0.0;
        QTest::newRow("exit 0 without final event")
            << script({out(START2), out(PROGRESS1)}) << "1 / 2 ページを検版中…" << q(NO_RESULT) << true << 0 << 0.0;
        QTest::newRow("complete without line feed") << script({out(COMPLETE.substr(0, COMPLETE.size() - 1))})
                                                    << "PDFを確認しています…" << q(NO_RESULT) << true << 0 << 0.0;
        QTest::newRow("complete, then exit 1")
            << script({out(COMPLETE), exitWith(1)}) << q(FAILED) << q(FIXED_FAILURE) << true << 2 << 1.0;
        QTest::newRow("complete without output") << script({out(line(R"({"event": "complete", "pages": []})"))})
                                                 << "PDFを確認しています…" << q(NO_RESULT) << true << 0 << 0.0;
        QTest::newRow("complete with pages not a list")
            << script({out(line(R"({"event": "complete", "output": "/o", "pages": {}})"))}) << "PDFを確認しています…"
            << q(NO_RESULT) << true << 0 << 0.0;
        QTest::newRow("complete with a page not an object")
            << script({out(line(R"({"event": "complete", "output": "/o", "pages": [)" + PAGE1 + R"(, 3]})"))})
            << "PDFを確認しています…" << q(NO_RESULT) << true << 0 << 0.0;
        QTest::newRow("pages without page or file are skipped")
            << script({out(line(
                   R"({"event": "complete", "output": "/o", "pages": [{"page": 1}, {"file": "x.pdf"}, {"page": "2", "file": "y.pdf"}, {"page": 1.0, "file": "y.pdf"}, )" +
                   PAGE1 + "]}"))})
            << "1ページ完了・1件のPDFをダウンロードに保存しました" << none << false << 1 << 1.0;
        QTest::newRow("garbage and unknown events are ignored") << script({out("[1, 2]\n42\n\nnot json\n"),
                                                                           out(line(R"({"event": "finish"})")),
                                                                           out(line(R"({"event": 7})")),
                                                                           out(line(R"({"message": "x"})")),
                                                                           out(COMPLETE)})
                                                                << q(COMPLETED_STATUS) << none << false << 2 << 1.0;
        QTest::newRow("carriage returns") << script({out(R"({"event": "start", "total": 2})"
                                                         "\r\n"),
                                                     out(COMPLETE.substr(0, COMPLETE.size() - 1) + "\r\n")})
                                          << q(COMPLETED_STATUS) << none << false << 2 << 1.0;
        QTest::newRow("line split over reads") << script({out(COMPLETE.substr(0, 40)),
                                                          pause(150),
                                                          out(COMPLETE.substr(40, 100)),
                                                          pause(150),
                                                          out(COMPLETE.substr(140))})
                                               << q(COMPLETED_STATUS) << none << false << 2 << 1.0;
        QTest::newRow("all lines in one read") << script({out(START2 + PROGRESS1 + PROGRESS2 + COMPLETE)})
                                               << q(COMPLETED_STATUS) << none << false << 2 << 1.0;
        // The output ends when its last writer closes it, which may be after the exit...
        QTest::newRow("lines after the exit") << script({out(START2), later(PROGRESS1 + PROGRESS2 + COMPLETE, 700)})
                                              << q(COMPLETED_STATUS) << none << false << 2 << 1.0;
        // ... or before it.
        QTest::newRow("output closed before the exit")
            << script({out(COMPLETE), closeOutput(), pause(300), exitWith(1)}) << q(FAILED) << q(FIXED_FAILURE) << true
            << 2 << 1.0;
        QTest::newRow("stderr noise") << script({err(std::string(200000, 'e')), out(COMPLETE), err("bye\n")})
                                      << q(COMPLETED_STATUS) << none << false << 2 << 1.0;
    }
    void outcomes() {
        QFETCH(Json, steps);
        QFETCH(QString, status);
        QFETCH(QString, error);
        QFETCH(bool, listsKept);
        QFETCH(int, rows);
        QFETCH(double, progress);
        writeScript(*home_, steps);
        model_->start();
        QVERIFY(model_->running());
        QVERIFY(settles(*model_));
        QCOMPARE(model_->status(), status);
        QCOMPARE(model_->error().value_or("<none>"), error);
        QCOMPARE(model_->before().isEmpty(), !listsKept);
        QCOMPARE(model_->after().isEmpty(), !listsKept);
        QCOMPARE(model_->results().size(), rows);
        QCOMPARE(model_->progress(), progress);
        QCOMPARE(model_->output().has_value(), rows > 0 || status.startsWith("0ページ完了"));
        QVERIFY(!model_->running());
        QVERIFY(model_->canStart() == listsKept);
    }

    void eventTexts_data() {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("status");
        QTest::addColumn<double>("progress");
        QTest::newRow("start") << R"({"event": "start", "total": 12, "files": []})"
                               << "全12ページを比較します" << 0.0;
        QTest::newRow("start without total") << R"({"event": "start"})"
                                             << "全0ページを比較します" << 0.0;
        QTest::newRow("first page") << R"({"event": "progress", "page": 1, "total": 12})"
                                    << "1 / 12 ページを検版中…" << 0.0;
        QTest::newRow("named page")
            << R"({"event": "progress", "page": 13, "total": 24, "name": "a.pdf", "file_index": 2})"
            << "a.pdf\n13 / 24 ページを検版中…" << 0.5;
        // Names come in their written form: a byte that is not UTF-8 shows as U+FFFD, an escaped
        // backslash as one backslash.
        QTest::newRow("name not UTF-8") << R"({"event": "progress", "page": 1, "total": 2, "name": "\\x8c\\x9f.pdf"})"
                                        << "\uFFFD\uFFFD.pdf\n1 / 2 ページを検版中…" << 0.0;
        QTest::newRow("name with a backslash")
            << R"({"event": "progress", "page": 1, "total": 2, "name": "a\\\\x.pdf"})"
            << "a\\x.pdf\n1 / 2 ページを検版中…" << 0.0;
        QTest::newRow("empty name") << R"({"event": "progress", "page": 2, "total": 4, "name": ""})"
                                    << "2 / 4 ページを検版中…" << 0.25;
        QTest::newRow("total 0") << R"({"event": "progress", "page": 3, "total": 0})"
                                 << "3 / 0 ページを検版中…" << 2.0;
        QTest::newRow("no numbers") << R"({"event": "progress", "page": "2", "total": null})"
                                    << "1 / 1 ページを検版中…" << 0.0;
        QTest::newRow("extreme numbers") << R"({"event": "progress", "page": -9223372036854775808, "total": -5})"
                                         << "-9223372036854775808 / -5 ページを検版中…" << -9223372036854775808.0 - 1.0;
    }
    void eventTexts() {
        QFETCH(QString, event);
        QFETCH(QString, status);
        QFETCH(double, progress);
        model_->receive(Json::parse(event.toStdString()));
        QCOMPARE(model_->status(), status);
        QCOMPARE(model_->progress(), progress);
    }

    void resultRowsFromPageReports() {
        model_->receive(Json::parse(R"({"event": "complete", "output": "/o/r", "pages": [
            {"page": 2, "file": "f.pdf", "strict_file": "s.pdf", "regions": 4, "changed_percent": 12, "source_name": "ソース.pdf"},
            {"page": 1, "file": "g.pdf", "strict_file": 3, "regions": "4", "changed_percent": "1", "source_name": null},
            {"page": 1, "file": "h.pdf", "strict_file": null, "regions": 1, "changed_percent": 1, "source_name": "\\xff\\\\x.pdf"}]})"));
        QCOMPARE(model_->output(), std::optional(fileUrl("/o/r")));
        const QList<ProofPage> expected{{"ソース.pdf", 2, "f.pdf", QStringLiteral("s.pdf"), 4, 12.0, {}, false},
                                        {"", 1, "g.pdf", std::nullopt, 0, 0.0, {}, false},
                                        {"\uFFFD\\x.pdf", 1, "h.pdf", std::nullopt, 1, 1.0, {}, false}};
        QCOMPARE(model_->results().size(), 3);
        QVERIFY(model_->results() == expected);
        QCOMPARE(model_->results()[0].id(), QStringLiteral("f.pdf#2"));
        QCOMPARE((ProofPage{"x", 2, "f.pdf", {}, 9, 1, {}, false}.id()), model_->results()[0].id());
        QCOMPARE(model_->status(), QStringLiteral("3ページ完了・3件のPDFをダウンロードに保存しました"));
    }

    void hugeCompleteEventInSmallReads() {
        std::string pages;
        for (int i = 1; i <= 50; ++i) {
            Json page;
            page["page"] = i;
            page["file"] = "検版_カタログ_" + std::to_string((i - 1) / 10) + ".pdf";
            page["strict_file"] = "厳密比較_カタログ_" + std::to_string((i - 1) / 10) + ".pdf";
            page["regions"] = i;
            page["changed_percent"] = i / 7.0;
            page["warnings"] = Json::array({std::string(300, 'w')});
            page["source_name"] = "カタログ.pdf";
            pages += (i > 1 ? ", " : "") + page.dump();
        }
        const std::string complete = line(R"({"event": "complete", "output": "/o", "pages": [)" + pages + "]}");
        QVERIFY(complete.size() > 20000);
        Json steps = Json::array();
        for (std::size_t at = 0; at < complete.size(); at += 4096) {
            steps.push_back(out(complete.substr(at, 4096)));
            steps.push_back(pause(2));
        }
        writeScript(*home_, steps);
        model_->start();
        QVERIFY(settles(*model_));
        QCOMPARE(model_->results().size(), 50);
        QCOMPARE(model_->status(), QStringLiteral("50ページ完了・5件のPDFをダウンロードに保存しました"));
        QCOMPARE(model_->results()[49].file, QStringLiteral("検版_カタログ_4.pdf"));
    }

    void statusFollowsTheRun() {
        writeScript(*home_, script({out(START2), pause(50), out(PROGRESS1), pause(50), out(PROGRESS2), out(COMPLETE)}));
        StatusHistory history(*model_);
        model_->start();
        QVERIFY(settles(*model_));
        QCOMPARE(history.values(),
                 (QStringList{"同じファイル名・同じページ番号同士を比較します",
                              "PDFを確認しています…",
                              "全2ページを比較します",
                              "1 / 2 ページを検版中…",
                              "2 / 2 ページを検版中…",
                              q(COMPLETED_STATUS)}));
    }

    void startResetsTheRunStateInOrder() {
        model_->receive(Json::parse(COMPLETE));
        model_->setError(QStringLiteral("前の失敗"));
        writeScript(*home_, script({waitForTerm()}));
        {
            WriteLog log(*model_);
            model_->start();
            QCOMPARE(log.writes(), (QStringList{"running", "progress", "error", "results", "output", "status"}));
        }
        QCOMPARE(model_->before().size(), 1);
        model_->cancel();
        QVERIFY(settles(*model_));
    }

    void commandLine_data() {
        QTest::addColumn<bool>("archive");
        QTest::addColumn<bool>("registering");
        QTest::newRow("comparison") << false << false;
        QTest::newRow("archive comparison") << true << false;
        QTest::newRow("registration") << true << true;
    }
    void commandLine() {
        QFETCH(bool, archive);
        QFETCH(bool, registering);
        const QString dir = home_->scratch();
        // In name order ("-" before "a"), so that the lists keep this order.
        const QStringList olds{dir + "/旧/-a2.pdf", dir + "/旧 版/a1 カタログ.pdf"};
        const QStringList news{dir + "/-a2.pdf", dir + "/新 版/a1 カタログ.pdf"};
        model_->reset();
        model_->select(fileUrls(olds), true);
        model_->select(fileUrls(news), false);
        model_->setArchiveMode(archive);
        model_->setArchiveProjectID("00112233445566778899aabbccddeeff");
        model_->settings().setTolerance(3);
        qputenv("TESMIRA_PRIVATE_VARIABLE", "must not reach the worker");
        writeScript(*home_, script({exitWith(0)}));
        model_->start(registering);
        QVERIFY(settles(*model_));
        const Json launch = launchRecord(*home_);
        QVERIFY(launch.is_object());

        QStringList expected{"--after"};
        expected << news << "--output-root" << home_->downloads() << "--settings-json"
                 << q(model_->settings().dictionary().dump());
        // A comparison keeps its PDFs for the old and new views, in the window's private folder.
        if (!registering) {
            const std::size_t kept = std::size_t(expected.size()) + 1;
            expected << "--compared-copies"
                     << (kept < launch["arguments"].size() ? q(launch["arguments"][kept].get<std::string>())
                                                           : QString());
            QVERIFY(expected.back().startsWith(QDir::tempPath() + "/tesmira-views-"));
        }
        if (archive)
            expected << "--archive-mode" << (registering ? "register" : "compare") << "--archive-root"
                     << ArchiveLibrary::root() << "--project-id"
                     << "00112233445566778899aabbccddeeff";
        else
            expected << "--before" << olds;
        QStringList arguments;
        for (const Json& argument : launch["arguments"]) arguments.append(q(argument.get<std::string>()));
        QCOMPARE(arguments, expected);
        COMPARE_JSON(
            Json::parse(arguments[arguments.indexOf("--settings-json") + 1].toStdString()),
            Json::parse(
                R"({"dpi":300,"tolerance":3,"opacity":10,"border":2,"stamp":true,"tiny_markers":false,"grain":false})"));

        QCOMPARE(launchEnvironment(launch), helperEnvironment(*home_));
        QCOMPARE(q(launch["cwd"].get<std::string>()), QDir::currentPath());
        QVERIFY(launch["stdin_is_pipe"].get<bool>());
    }

    // The worker's temporary folder is the window's; without one of the window's, the system's.
    void theWorkerSharesTheWindowsTemporaryFolder() {
        const QByteArray temporary = qgetenv("TMPDIR");
        for (const QByteArray& value : {QByteArray(), QByteArray(""), temporary}) {
            qputenv("TMPDIR", value);
            if (value.isNull()) qunsetenv("TMPDIR");
            writeScript(*home_, script({exitWith(0)}));
            model_->start();
            QVERIFY(settles(*model_));
            const QStringList variables =
                launchEnvironment(launchRecord(*home_)).filter(QRegularExpression("^TMPDIR="));
            QCOMPARE(variables, value.isEmpty() ? QStringList() : QStringList{"TMPDIR=" + QString::fromUtf8(value)});
        }
        QCOMPARE(qgetenv("TMPDIR"), temporary);
    }

    // Some drag sources name this machine in a file URL; the worker gets the path alone,
    // its escapes decoded.
    void pathsOfFileUrlsWithAHost() {
        const QString dir = home_->scratch();
        model_->reset();
        model_->select({QUrl("file://localhost" + dir + "/%E6%97%A7/a%20b.pdf")}, true);
        model_->select({QUrl("file://LOCALHOST" + dir + "/新/a b.pdf")}, false);
        writeScript(*home_, script({exitWith(0)}));
        model_->start();
        QVERIFY(settles(*model_));
        const Json arguments = launchRecord(*home_)["arguments"];
        QCOMPARE(q(arguments[1].get<std::string>()), dir + "/新/a b.pdf");
        QCOMPARE(q(arguments.back().get<std::string>()), dir + "/旧/a b.pdf");
    }

    void nothingStartsWhenNotReady() {
        writeScript(*home_, script({exitWith(0)}));
        {
            WriteLog log(*model_);
            model_->start(true);  // registering outside archive mode
            model_->remove(std::nullopt, true);
        }
        WriteLog log(*model_);
        model_->start();  // nothing to pair with
        QCOMPARE(log.count(), 0);
        QVERIFY(!model_->running());
        QVERIFY(!launchRecord(*home_).is_object());
    }

    void missingWorker_data() {
        QTest::addColumn<QString>("content");  // "" for no file at all
        QTest::addColumn<bool>("executable");
        QTest::newRow("no file") << "" << true;
        QTest::newRow("not executable") << "#!/bin/sh\nexit 0\n" << false;
        QTest::newRow("a folder") << "<folder>" << true;
    }
    void missingWorker() {
        QFETCH(QString, content);
        QFETCH(bool, executable);
        const QString worker = home_->scratch() + "/worker/TesmiraWorker";
        QDir().mkpath(home_->scratch() + "/worker");
        if (content == "<folder>") {
            QDir().mkpath(worker);
        } else if (!content.isEmpty()) {
            QFile file(worker);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content.toUtf8());
            file.setPermissions(executable ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner);
        }
        model_->workerProgram = worker;
        const Published before(*model_);
        WriteLog log(*model_);
        model_->start();
        QCOMPARE(log.writes(), QStringList{"error"});
        QCOMPARE(model_->error(),
                 std::optional(QStringLiteral("検版エンジンが見つかりません。アプリを再ビルドしてください。")));
        Published expected = before;
        expected.error = model_->error();
        QCOMPARE(Published(*model_).differences(expected), QStringList());
    }

    void workerThatCannotStart() {
        const QString worker = home_->scratch() + "/TesmiraWorker";
        QFile file(worker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            QByteArray("\x7f"
                       "ELF garbage",
                       12));
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        model_->workerProgram = worker;
        model_->start();
        QVERIFY(settles(*model_));
        QVERIFY2(model_->error().value_or("").startsWith("検版を開始できません: "),
                 qPrintable(model_->error().value_or("<none>")));
        QVERIFY(model_->error()->size() > QStringLiteral("検版を開始できません: ").size());
        QCOMPARE(model_->status(), QStringLiteral("PDFを確認しています…"));
        QCOMPARE(model_->progress(), 0.0);
        QVERIFY(model_->results().isEmpty() && !model_->output());
        QCOMPARE(model_->before().size(), 1);
        // The model is usable again: the next run starts.
        model_->workerProgram = TESMIRA_FAKE_WORKER;
        writeScript(*home_, script({out(COMPLETE)}));
        model_->start();
        QVERIFY(settles(*model_));
        QCOMPARE(model_->status(), q(COMPLETED_STATUS));
    }

    // A relative Downloads folder in the user-dirs file names no folder: the run is refused
    // before the worker starts.
    void noDownloadsFolder() {
        QDir().mkpath(home_->path() + "/.config");
        QFile dirs(home_->path() + "/.config/user-dirs.dirs");
        QVERIFY(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_DOWNLOAD_DIR=\"ダウンロード\"\n");
        dirs.close();
        QCOMPARE(model_->downloads(), std::nullopt);
        writeScript(*home_, script({exitWith(0)}));
        WriteLog log(*model_);
        model_->start();
        QCOMPARE(log.writes(), QStringList{"error"});
        QCOMPARE(model_->error(), std::optional(QStringLiteral("ダウンロードフォルダーが見つかりません。")));
        QVERIFY(!model_->running());
        QVERIFY(!launchRecord(*home_).is_object());

        dirs.open(QIODevice::WriteOnly | QIODevice::Truncate);
        dirs.write("XDG_DOWNLOAD_DIR=\"$HOME/受信\"\n");
        dirs.close();
        QCOMPARE(model_->downloads(), std::optional(home_->path() + "/受信"));
    }

    // What killed workers left in the Downloads folder goes when the model starts; an item
    // whose lock a live process holds, and the user's own hidden files, stay.
    void startSweepsWhatKilledWorkersLeft() {
        const QString downloads = home_->downloads();
        const auto make = [&](const QString& name) {
            QDir().mkpath(downloads + "/" + name);
            QFile(downloads + "/" + name + "/検版_001.png").open(QIODevice::WriteOnly);
        };
        make(".tesmira-part-00000000000000000000000000000001");  // its lock file gone with the worker
        make(".tesmira-pdf-00000000000000000000000000000002");
        QFile(downloads + "/.tesmira-pdf-00000000000000000000000000000002.lock").open(QIODevice::WriteOnly);
        make(".tesmira-archive-00000000000000000000000000000003");
        const tesmira::OwnerLock live((downloads + "/.tesmira-part-00000000000000000000000000000004").toStdString());
        make(".tesmira-part-00000000000000000000000000000004");
        make(".mine");
        ProofModel restarted;
        QCOMPARE(QDir(downloads).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{".mine",
                              ".tesmira-part-00000000000000000000000000000004",
                              ".tesmira-part-00000000000000000000000000000004.lock"}));
    }

    void cancelSendsSigtermAndSettlesAfterTheExit() {
        writeScript(*home_, script({out(START2), out(PROGRESS1), waitForTerm()}));
        model_->start();
        QVERIFY(QTest::qWaitFor([&] { return model_->status() == "1 / 2 ページを検版中…"; }, 60000));
        model_->cancel();
        QCOMPARE(model_->status(), QStringLiteral("中止しています…"));
        QVERIFY(model_->running());
        QVERIFY(settles(*model_));
        QCOMPARE(model_->status(), q(CANCELLED));
        QVERIFY(!model_->error());
        QCOMPARE(model_->before().size(), 1);
        QCOMPARE(model_->after().size(), 1);
        QCOMPARE(signalRecord(*home_), QByteArray("SIGTERM\n"));
    }

    // A worker that has exited and left its output to a process of its own: cancelling ends
    // the run at once instead of waiting for that process.
    void cancelAfterTheWorkerHasExited() {
        writeScript(*home_, script({out(START2), later(COMPLETE, 3000)}));
        model_->start();
        QVERIFY(QTest::qWaitFor([&] { return launchRecord(*home_).is_object(); }, 60000));
        const pid_t pid = pid_t(launchRecord(*home_)["pid"].get<int>());
        // Reaped, so the model has seen the exit.
        QVERIFY(QTest::qWaitFor([&] { return ::kill(pid, 0) != 0; }, 60000));
        QVERIFY(model_->running());
        model_->cancel();
        QVERIFY(!model_->running());
        QCOMPARE(model_->status(), q(CANCELLED));
        QVERIFY(model_->results().isEmpty());
    }

    void cancelAfterCompleteStillEndsCancelled() {
        writeScript(*home_, script({out(COMPLETE), waitForTerm()}));
        model_->start();
        QVERIFY(QTest::qWaitFor([&] { return model_->status() == q(COMPLETED_STATUS); }, 60000));
        model_->cancel();
        QVERIFY(settles(*model_));
        QCOMPARE(model_->status(), q(CANCELLED));
        QCOMPARE(model_->results().size(), 2);
        QVERIFY(model_->output());
        QCOMPARE(model_->after().size(), 1);
    }

    void cancelWithoutWorker() {
        WriteLog log(*model_);
        model_->cancel();
        QCOMPARE(log.writes(), QStringList{"status"});
        QCOMPARE(model_->status(), QStringLiteral("中止しています…"));
        QVERIFY(!model_->running());
        // The next run is not taken for cancelled.
        writeScript(*home_, script({out(COMPLETE)}));
        model_->start();
        QVERIFY(settles(*model_));
        QCOMPARE(model_->status(), q(COMPLETED_STATUS));
    }

    // The window stays responsive: nothing waits for the worker on this thread, so the event
    // loop sees the run between its events, not only once it is over.
    void theEventLoopRunsDuringARun() {
        writeScript(*home_, script({out(START2), pause(300), out(PROGRESS1), pause(300), out(COMPLETE)}));
        QStringList seen;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            if (model_->running()) seen.append(model_->status());
        });
        timer.start(10);
        model_->start();
        QVERIFY(settles(*model_));
        QVERIFY2(seen.contains("全2ページを比較します") && seen.contains("1 / 2 ページを検版中…"),
                 qPrintable(seen.join(", ")));
    }

    // Destroying the model never kills the worker: it would leave a partial folder behind.
    void destroyingTheModelLeavesTheWorkerRunning() {
        writeScript(*home_, script({out(START2), waitForTerm()}));
        model_->start();
        QVERIFY(QTest::qWaitFor([&] { return model_->status() == "全2ページを比較します"; }, 60000));
        const pid_t pid = pid_t(launchRecord(*home_)["pid"].get<int>());
        model_.reset();
        QTest::qWait(100);
        QCOMPARE(::kill(pid, 0), 0);
        QVERIFY(signalRecord(*home_).isEmpty());
        ::kill(pid, SIGTERM);
        QVERIFY(QTest::qWaitFor([&] { return !signalRecord(*home_).isEmpty(); }, 60000));
    }

    void realWorkerComparesAPair() {
        const QString old = home_->scratch() + "/旧/カタログ 1.pdf", now = home_->scratch() + "/新/カタログ 1.pdf";
        writeSamplePdf(old, 2, 0);
        writeSamplePdf(now, 2, 1);
        model_->reset();
        model_->select({fileUrl(old)}, true);
        model_->select({fileUrl(now)}, false);
        model_->settings().setDpi(144);
        model_->workerProgram = TESMIRA_WORKER;
        StatusHistory history(*model_);
        model_->start();
        QVERIFY(settles(*model_));
        QVERIFY2(!model_->error(), qPrintable(model_->error().value_or("")));
        QCOMPARE(model_->status(), QStringLiteral("2ページ完了・1件のPDFをダウンロードに保存しました"));
        QVERIFY(history.values().contains("全2ページを比較します"));
        QVERIFY(history.values().contains("2 / 2 ページを検版中…"));
        QVERIFY(model_->before().isEmpty() && model_->after().isEmpty());
        const QString output = model_->output()->toLocalFile();
        QCOMPARE(QFileInfo(output).absolutePath(), home_->downloads());
        QVERIFY(QFileInfo(output).fileName().startsWith("てすみら検版_"));
        QCOMPARE(model_->results().size(), 2);
        for (int i = 0; i < 2; ++i) {
            const ProofPage& row = model_->results()[i];
            QCOMPARE(row.page, i + 1);
            QCOMPARE(row.sourceName, QStringLiteral("カタログ 1.pdf"));
            QVERIFY(row.file.startsWith("検版_カタログ 1_"));
            QVERIFY(!row.strictFile);
            QCOMPARE(row.regions, 2);  // the square moved: where it was and where it is
            QVERIFY(row.percent > 0);
            QVERIFY(QFileInfo(output + "/" + row.file).isFile());
        }
    }

    void realWorkerRefusal() {
        const QString old = home_->scratch() + "/a.pdf", now = home_->scratch() + "/b/a.pdf";
        writeSamplePdf(old, 2);
        writeSamplePdf(now, 3);
        model_->reset();
        model_->select({fileUrl(old)}, true);
        model_->select({fileUrl(now)}, false);
        model_->workerProgram = TESMIRA_WORKER;
        model_->start();
        QVERIFY(settles(*model_));
        QCOMPARE(model_->status(), q(FAILED));
        QCOMPARE(model_->error(),
                 std::optional(
                     QStringLiteral("新旧PDFのページ数が異なります。同じページ数・順番のPDFを選択してください。")));
        QCOMPARE(QDir(home_->downloads()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        QCOMPARE(model_->after().size(), 1);
    }

    void realWorkerCancelledLeavesNothing() {
        const QString old = home_->scratch() + "/a.pdf", now = home_->scratch() + "/b/a.pdf";
        writeSampleThenEndlessPdf(old, 1, 7, 0, 595, 842);
        writeSampleThenEndlessPdf(now, 1, 7, 1, 595, 842);
        model_->reset();
        model_->select({fileUrl(old)}, true);
        model_->select({fileUrl(now)}, false);
        model_->workerProgram = TESMIRA_WORKER;
        model_->start();
        QVERIFY(QTest::qWaitFor([&] { return model_->status().contains("ページを検版中"); }, 60000));
        model_->cancel();
        QVERIFY(settles(*model_));
        QCOMPARE(model_->status(), q(CANCELLED));
        QVERIFY(!model_->error());
        QVERIFY(model_->results().isEmpty());
        QCOMPARE(QDir(home_->downloads()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }

private:
    std::unique_ptr<TestHome> home_;
    std::unique_ptr<ProofModel> model_;
};

QTEST_GUILESS_MAIN(WorkerRunTest)
#include "worker_run_test.moc"
