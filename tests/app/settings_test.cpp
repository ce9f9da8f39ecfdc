// The settings store: loading key by key, writing the whole record after every assignment,
// and never leaving a half-written file.
#include <sys/stat.h>
#include <sys/wait.h>

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "app/model/proof_settings.hpp"
#include "model_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;

namespace {

void store(const QByteArray& content) {
    const QString path = ProofSettings::settingsFile();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

Json stored() {
    QFile file(ProofSettings::settingsFile());
    if (!file.open(QIODevice::ReadOnly)) return Json();
    const QByteArray bytes = file.readAll();
    return Json::parse(bytes.begin(), bytes.end(), nullptr, false);
}

Json values(const ProofSettings& s) {
    Json record;
    record["dpi"] = s.dpi();
    record["tolerance"] = s.tolerance();
    record["opacity"] = s.opacity();
    record["border"] = s.border();
    record["stamp"] = s.stamp();
    record["tiny_markers"] = s.tinyMarkers();
    record["grain"] = s.noise();
    return record;
}

const Json DEFAULTS =
    Json::parse(R"({"dpi":300,"tolerance":1,"opacity":10,"border":2,"stamp":true,"tiny_markers":false,"grain":false})");

Json fileWith(const Json& record) {
    Json file;
    file["proof.settings.v1"] = record;
    return file;
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void freshHomeHasDefaultsAndNoFile() {
        TestHome home;
        ProofSettings settings;
        COMPARE_JSON(values(settings), DEFAULTS);
        QVERIFY(!QFile::exists(ProofSettings::settingsFile()));
        QVERIFY(settings.settingsFile().startsWith(home.path() + "/.config/"));
    }

    void loadsKeyByKey_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("expected");  // the values that differ from the defaults
        const auto row = [](const char* name, const char* entry, const char* expected) {
            QTest::newRow(name) << QByteArray(R"({"proof.settings.v1": )") + entry + "}" << QByteArray(expected);
        };
        row("all seven",
            R"({"dpi":144,"tolerance":0,"opacity":100,"border":6,"stamp":false,"tiny_markers":true,"grain":true})",
            R"({"dpi":144,"tolerance":0,"opacity":100,"border":6,"stamp":false,"tiny_markers":true,"grain":true})");
        row("border missing",
            R"({"dpi":200,"tolerance":3,"opacity":50,"stamp":false,"tiny_markers":true,"grain":true})",
            R"({"dpi":200,"tolerance":3,"opacity":50,"stamp":false,"tiny_markers":true,"grain":true})");
        row("unusual dpi is kept", R"({"dpi":150})", R"({"dpi":150})");
        row("out of range is kept",
            R"({"tolerance":-5,"opacity":1000,"border":0})",
            R"({"tolerance":-5,"opacity":1000,"border":0})");
        row("digit as text", R"({"tolerance":"5","dpi":"200"})", "{}");
        row("whole real", R"({"opacity":12.0,"dpi":2e2})", R"({"opacity":12,"dpi":200})");
        row("fractional real", R"({"opacity":12.5})", "{}");
        row("huge real", R"({"dpi":1e300})", "{}");
        row("boolean for a number", R"({"dpi":true})", "{}");
        row("switches as 0 and 1",
            R"({"stamp":0,"tiny_markers":1,"grain":1.0})",
            R"({"stamp":false,"tiny_markers":true,"grain":true})");
        row("switch as 2", R"({"stamp":2,"grain":2})", "{}");
        row("switch as text", R"({"stamp":"false","grain":"true"})", "{}");
        row("lists and records", R"({"dpi":[144],"stamp":{},"border":null})", "{}");
        row("entry is text", R"("dpi=144")", "{}");
        row("entry is a list", R"([144, 1])", "{}");
        QTest::newRow("file is a list") << QByteArray(R"([{"proof.settings.v1": {"dpi": 144}}])") << QByteArray("{}");
        QTest::newRow("file is not JSON") << QByteArray(R"({"proof.settings.v1": {"dpi": 144)") << QByteArray("{}");
        QTest::newRow("file is empty") << QByteArray() << QByteArray("{}");
        // Deeply nested text overflowed the stack while it was read; now it is no record.
        const QByteArray deep = QByteArray(100000, '[') + QByteArray(100000, ']');
        QTest::newRow("file nests too deep")
            << QByteArray(R"({"proof.settings.v1": {"dpi": 144, "x": )") + deep + R"(, "grain": true}})"
            << QByteArray("{}");
        QTest::newRow("other key only") << QByteArray(R"({"proof.settings.v0": {"dpi": 144}})") << QByteArray("{}");
    }
    void loadsKeyByKey() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, expected);
        TestHome home;
        store(file);
        ProofSettings settings;
        Json want = DEFAULTS;
        want.update(Json::parse(expected.toStdString()));
        COMPARE_JSON(values(settings), want);
        QFile again(ProofSettings::settingsFile());
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), file);  // loading writes nothing back
    }

    // The settings file comes from the user's folder and may be anything: what is no regular
    // file of at most a mebibyte gives the defaults at once, and the next save puts a settings
    // file in its place, never writing into what a link names.
    void settingsFileThatIsNoSettings_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("link to a FIFO") << "linked fifo";
        QTest::newRow("link to /dev/zero") << "zero";
        QTest::newRow("dangling link") << "dangling";
        QTest::newRow("folder") << "folder";
        QTest::newRow("over a mebibyte") << "large";
    }
    void settingsFileThatIsNoSettings() {
        QFETCH(QString, kind);
        TestHome home;
        const QString path = ProofSettings::settingsFile(), fifo = home.scratch() + "/fifo";
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (kind == "fifo") QCOMPARE(::mkfifo(path.toUtf8().constData(), 0600), 0);
        if (kind == "linked fifo") {
            QCOMPARE(::mkfifo(fifo.toUtf8().constData(), 0600), 0);
            QVERIFY(QFile::link(fifo, path));
        }
        if (kind == "zero") QVERIFY(QFile::link("/dev/zero", path));
        if (kind == "dangling") QVERIFY(QFile::link(home.scratch() + "/gone.json", path));
        if (kind == "folder") QVERIFY(QDir().mkpath(path));
        if (kind == "large") store(R"({"proof.settings.v1": {"dpi": 144}})" + QByteArray(1 << 20, ' '));
        ProofSettings settings;
        COMPARE_JSON(values(settings), DEFAULTS);
        // Not saved over the device, should the guard ever fail: these tests may run as root.
        if (kind == "folder" || kind == "zero") return;
        settings.setDpi(200);
        QCOMPARE(ProofSettings().dpi(), 200);
        QVERIFY(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink());
        if (kind == "linked fifo") {
            struct stat info {};
            QVERIFY(::lstat(fifo.toUtf8().constData(), &info) == 0 && S_ISFIFO(info.st_mode));
        }
    }

    // A settings file kept elsewhere and linked into place stays where it is, and is written.
    void linkedSettingsFileIsWrittenWhereItIs() {
        TestHome home;
        const QString path = ProofSettings::settingsFile(), kept = home.scratch() + "/dotfiles/tesmira.json";
        QDir().mkpath(QFileInfo(path).absolutePath());
        QDir().mkpath(QFileInfo(kept).absolutePath());
        QFile file(kept);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"proof.settings.v1": {"dpi": 144}})");
        file.close();
        QVERIFY(QFile::link(kept, path));
        ProofSettings settings;
        QCOMPARE(settings.dpi(), 144);
        settings.setBorder(5);
        QVERIFY(QFileInfo(path).isSymLink());
        QCOMPARE(ProofSettings().border(), 5);
        QCOMPARE(ProofSettings().dpi(), 144);
    }

    void settingsFileAtTheLimitIsRead() {
        TestHome home;
        const QByteArray record = R"({"proof.settings.v1": {"dpi": 144}})";
        store(record + QByteArray((1 << 20) - record.size(), ' '));
        QCOMPARE(ProofSettings().dpi(), 144);
    }

    void everyAssignmentSignalsThenWritesTheWholeRecord() {
        TestHome home;
        ProofSettings settings;
        QList<Json> seenAtSignal;
        connect(&settings, &ProofSettings::willChange, [&] { seenAtSignal.append(values(settings)); });
        settings.setOpacity(25);
        QCOMPARE(seenAtSignal.size(), 1);
        QVERIFY(seenAtSignal[0]["opacity"] == 10);  // the signal comes before the value changes
        Json want = DEFAULTS;
        want["opacity"] = 25;
        COMPARE_JSON(stored(), fileWith(want));
        COMPARE_JSON(settings.dictionary(), want);

        // The same value again still signals and writes.
        QVERIFY(QFile::remove(ProofSettings::settingsFile()));
        settings.setOpacity(25);
        QCOMPARE(seenAtSignal.size(), 2);
        COMPARE_JSON(stored(), fileWith(want));

        // A new object reads back what the setters wrote.
        settings.setDpi(144);
        settings.setStamp(false);
        settings.setTinyMarkers(true);
        settings.setNoise(true);
        settings.setTolerance(7);
        settings.setBorder(5);
        ProofSettings again;
        COMPARE_JSON(values(again), values(settings));
    }

    void dictionaryHasSevenTypedEntries() {
        TestHome home;
        store(R"({"proof.settings.v1": {"dpi": 2e2, "stamp": 0, "extra": 1}})");
        const Json record = ProofSettings().dictionary();
        QCOMPARE(record.size(), std::size_t(7));
        for (const char* key : {"dpi", "tolerance", "opacity", "border"})
            QVERIFY2(record[key].is_number_integer(), key);
        for (const char* key : {"stamp", "tiny_markers", "grain"}) QVERIFY2(record[key].is_boolean(), key);
        QCOMPARE(
            record.dump(),
            std::string(
                R"({"dpi":200,"tolerance":1,"opacity":10,"border":2,"stamp":false,"tiny_markers":false,"grain":false})"));
    }

    void resetAssignsTheDefaultsInRecordOrder() {
        TestHome home;
        store(
            R"({"proof.settings.v1": {"dpi":144,"tolerance":0,"opacity":100,"border":6,"stamp":false,"tiny_markers":true,"grain":true}})");
        ProofSettings settings;
        QList<Json> seen;
        connect(&settings, &ProofSettings::willChange, [&] { seen.append(values(settings)); });
        settings.reset();
        QCOMPARE(seen.size(), 7);
        seen.append(values(settings));
        const char* order[] = {"dpi", "tolerance", "opacity", "border", "stamp", "tiny_markers", "grain"};
        for (int i = 0; i < 7; ++i) {
            // Between two signals exactly the next key of the record took its default.
            for (const auto& [key, value] : seen[i].items()) {
                const bool changed = seen[i + 1][key] != value;
                QCOMPARE(changed, key == order[i]);
            }
        }
        COMPARE_JSON(stored(), fileWith(DEFAULTS));
    }

    void fileIsPrivate() {
        TestHome home;
        ::umask(022);
        ProofSettings().setDpi(200);
        QCOMPARE(modeOf(ProofSettings::settingsFile()), mode_t(0600));
        QCOMPARE(modeOf(QFileInfo(ProofSettings::settingsFile()).absolutePath()), mode_t(0700));
    }

    // A writer killed in the middle of a save leaves the previous record whole.
    void crashDuringSaveKeepsThePreviousFile() {
        TestHome home;
        ProofSettings().setDpi(200);
        const Json before = stored();
        QProcess writer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LD_PRELOAD", TESMIRA_KILL_AT_SYNC_LIBRARY);
        environment.insert("TESMIRA_KILL_AT_SYNC", "1");
        // Under the sanitizers their runtime is loaded first; the small preloaded library
        // must not make it refuse to start.
        environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        writer.setProcessEnvironment(environment);
        writer.start(TESMIRA_SETTINGS_WRITER, {"144"});
        QVERIFY(writer.waitForFinished(20000));
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);  // killed at the first sync of the save
        COMPARE_JSON(stored(), before);

        // Without the kill the same writer replaces the record.
        writer.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        writer.start(TESMIRA_SETTINGS_WRITER, {"144"});
        QVERIFY(writer.waitForFinished(20000));
        QCOMPARE(writer.exitCode(), 0);
        QVERIFY(stored()["proof.settings.v1"]["dpi"] == 144);
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "settings_test.moc"
