// The archive folder, the project listing and the creation of projects, and the worker's
// archive runs on a project made here.
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLocale>
#include <QTest>

#include <fcntl.h>

#include "app/model/archive_library.hpp"
#include "model_test_support.hpp"

using namespace tesmira;
using namespace tesmira::app;
using namespace tesmira::app::testing;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "project.json" as the application writes it.
QByteArray projectRecord(const QString& id, const QString& name) {
    return QByteArray(R"({"version":1,"id":")") + id.toUtf8() + R"(","name":")" + name.toUtf8() + "\"}";
}

// A project folder, with its record written by hand.
QString addProject(const QString& root, const QString& id, const QString& name) {
    const QString folder = root + "/" + id;
    writeFile(folder + "/project.json", projectRecord(id, name));
    return folder;
}

QString hexID(int n) { return QString("%1").arg(n, 32, 16, QChar('0')); }

// The code of the archive refusal that `call` raises, 0 for another failure, -1 for none.
template <typename F>
int codeOf(F&& call, QString* message = nullptr) {
    try {
        call();
    } catch (const ArchiveError& refusal) {
        if (message) *message = QString::fromUtf8(refusal.what());
        return refusal.code();
    } catch (const std::exception& failure) {
        if (message) *message = QString::fromUtf8(failure.what());
        return 0;
    }
    return -1;
}

QStringList namesOf(const QList<ArchiveProject>& projects) {
    QStringList names;
    for (const ArchiveProject& project : projects) names.append(project.name);
    return names;
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Holds the creation lock from another process until the object goes.
class LockHolder {
public:
    explicit LockHolder(const QString& lockFile) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(lockFile.toUtf8().constData(), O_RDWR | O_CREAT, 0600);
            ::flock(fd, LOCK_EX);
            (void)!::write(ready[1], "x", 1);
            for (;;) ::pause();
        }
        char byte;
        (void)!::read(ready[0], &byte, 1);
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~LockHolder() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_ = -1;
};

}  // namespace

class ArchiveTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        home_ = std::make_unique<TestHome>();
        root_ = ArchiveLibrary::root();
    }
    void cleanup() { home_.reset(); }

    void rootIsCreatedPrivateUnderHome() {
        QCOMPARE(root_, home_->path() + "/てすみら保存版");
        QVERIFY(!QFileInfo::exists(root_));  // naming it touches nothing
        ::umask(022);
        QCOMPARE(ArchiveLibrary::projects(root_).size(), 0);
        QVERIFY(QFileInfo(root_).isDir());
        QCOMPARE(modeOf(root_), mode_t(0700));
        // A loose mode is tightened again by every listing.
        QFile::setPermissions(root_,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                  QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        ArchiveLibrary::projects(root_);
        QCOMPARE(modeOf(root_), mode_t(0700));
    }

    void homeFolderIsNeverCreated() {
        qputenv("HOME", (home_->scratch() + "/missing-home").toUtf8());
        QString message;
        QCOMPARE(codeOf([] { ArchiveLibrary::projects(ArchiveLibrary::root()); }, &message), 0);
        QVERIFY2(message.contains("No such file or directory"), qPrintable(message));
        QVERIFY(!QFileInfo::exists(home_->scratch() + "/missing-home"));
    }

    void unusableRoots_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("code");
        QTest::newRow("link to a proper folder") << "link" << 1;
        QTest::newRow("dangling link") << "dangling" << 1;
        QTest::newRow("regular file") << "file" << 8;
        QTest::newRow("folder of another user") << "foreign" << 8;
    }
    void unusableRoots() {
        QFETCH(QString, kind);
        QFETCH(int, code);
        const QString elsewhere = home_->scratch() + "/elsewhere";
        if (kind == "link") {
            QDir().mkpath(elsewhere);
            QVERIFY(QFile::link(elsewhere, root_));
        } else if (kind == "dangling") {
            QVERIFY(QFile::link(elsewhere, root_));
        } else if (kind == "file") {
            writeFile(root_, "not a folder");
        } else {
            QDir().mkpath(root_);
            if (::chown(root_.toUtf8().constData(), 65534, 65534) != 0) QSKIP("changing the owner needs root");
        }
        for (const auto& call : std::vector<std::function<void()>>{[&] { ArchiveLibrary::prepare(root_); },
                                                                   [&] { ArchiveLibrary::projects(root_); },
                                                                   [&] { ArchiveLibrary::create("案件", root_); }})
            QCOMPARE(codeOf(call), code);
        QVERIFY(!QFileInfo::exists(elsewhere + "/.projects.lock"));
        ProofModel model;
        model.refreshArchiveProjects();
        QString message;
        codeOf([&] { ArchiveLibrary::prepare(root_); }, &message);
        QCOMPARE(model.error(), std::optional(message));
        QVERIFY(message.endsWith("。"));
    }

    void listingSkipsWhatIsNoProject() {
        ArchiveLibrary::prepare(root_);
        addProject(root_, hexID(1), "本物");
        writeFile(root_ + "/.projects.lock", "");
        QDir().mkpath(root_ + "/.creating-" + hexID(2));
        writeFile(root_ + "/.creating-" + hexID(2) + "/project.json", "{}");
        writeFile(root_ + "/notes.txt", "x");
        QDir().mkpath(root_ + "/" + hexID(3).toUpper().replace('0', 'A'));
        QDir().mkpath(root_ + "/" + hexID(4).mid(1));
        QDir().mkpath(root_ + "/" + hexID(5) + "0");
        // A link to a proper project folder is not listed.
        const QString outside = addProject(home_->scratch(), hexID(6), "外");
        QVERIFY(QFile::link(outside, root_ + "/" + hexID(6)));
        const QList<ArchiveProject> projects = ArchiveLibrary::projects(root_);
        QCOMPARE(projects.size(), 1);
        QVERIFY((projects[0] == ArchiveProject{1, hexID(1), "本物"}));
    }

    void oneBrokenProjectFailsTheListing_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("code");  // 0: the platform's or the JSON library's own failure
        QTest::addColumn<QString>("message");
        QTest::newRow("no project.json") << "missing" << 0 << "No such file or directory";
        QTest::newRow("regular file with a project name") << "file" << 0 << "Not a directory";
        QTest::newRow("linked project.json") << "link" << 5 << "案件情報のリンクは使用できません。";
        // Read only when it is a regular file of at most a mebibyte: nothing blocks or fills memory.
        QTest::newRow("project.json a FIFO") << "fifo" << 0 << "not a regular file";
        QTest::newRow("project.json a folder") << "folder" << 0 << "Is a directory";
        QTest::newRow("project.json too large") << "large" << 0 << "larger than 1048576 bytes";
        QTest::newRow("version 2") << R"({"version":2,"id":"ID","name":"n"})" << 2
                                   << "保存版の案件情報を確認できません。";
        QTest::newRow("other id") << R"({"version":1,"id":"00000000000000000000000000000009","name":"n"})" << 2
                                  << "保存版の案件情報を確認できません。";
        QTest::newRow("version as text") << R"({"version":"1","id":"ID","name":"n"})" << 0 << "'version'";
        QTest::newRow("version as real") << R"({"version":1.0,"id":"ID","name":"n"})" << 0 << "'version'";
        QTest::newRow("no name") << R"({"version":1,"id":"ID"})" << 0 << "'name'";
        QTest::newRow("not JSON") << "{\"version\":1," << 0 << "parse error";
        QTest::newRow("a list") << R"([1])" << 0 << "not a JSON object";
        QTest::newRow("empty") << "" << 0 << "parse error";
    }
    void oneBrokenProjectFailsTheListing() {
        QFETCH(QString, kind);
        QFETCH(int, code);
        QFETCH(QString, message);
        ProofModel model;
        addProject(root_, hexID(1), "良い案件");
        model.refreshArchiveProjects();
        QCOMPARE(model.archiveProjects().size(), 1);
        const QString id = hexID(2), folder = root_ + "/" + id;
        if (kind == "missing") {
            QDir().mkpath(folder);
        } else if (kind == "file") {
            writeFile(folder, "x");
        } else if (kind == "fifo") {
            QDir().mkpath(folder);
            QCOMPARE(::mkfifo((folder + "/project.json").toUtf8().constData(), 0600), 0);
        } else if (kind == "folder") {
            QDir().mkpath(folder + "/project.json");
        } else if (kind == "large") {
            writeFile(folder + "/project.json",
                      R"({"version":1,"id":")" + id.toUtf8() + R"(","name":"n"})" + QByteArray(1 << 20, ' '));
        } else if (kind == "link") {
            addProject(home_->scratch(), id, "外");
            QDir().mkpath(folder);
            QVERIFY(QFile::link(home_->scratch() + "/" + id + "/project.json", folder + "/project.json"));
        } else {
            writeFile(folder + "/project.json", kind.replace("ID", id).toUtf8());
        }
        QString failure;
        QCOMPARE(codeOf([&] { ArchiveLibrary::projects(root_); }, &failure), code);
        QVERIFY2(failure.contains(message), qPrintable(failure));
        // The model keeps its last list and shows the failure; creating is refused as well.
        model.refreshArchiveProjects();
        QCOMPARE(model.archiveProjects().size(), 1);
        QCOMPARE(model.error(), std::optional(failure));
        QCOMPARE(codeOf([&] { ArchiveLibrary::create("新しい案件", root_); }), code);
        QCOMPARE(entries(root_).filter(".creating-"), QStringList());
        // A later good listing does not clear the error.
        QVERIFY(QDir(folder).removeRecursively() || QFile::remove(folder));
        model.refreshArchiveProjects();
        QCOMPARE(model.error(), std::optional(failure));
    }

    void extraKeysAreAccepted() {
        writeFile(root_ + "/" + hexID(7) + "/project.json",
                  "{\"name\":\"順序違い\",\"extra\":[1],\"id\":\"" + hexID(7).toUtf8() + "\",\"version\":1}");
        QCOMPARE(namesOf(ArchiveLibrary::projects(root_)), QStringList{"順序違い"});
    }

    void naturalNameOrder_data() {
        QTest::addColumn<QString>("locale");
        QTest::newRow("C") << "C";
        QTest::newRow("Japanese") << "ja_JP";
        QTest::newRow("English") << "en_US";
    }
    void naturalNameOrder() {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        const QStringList names{"案件10", "b", "案件2", "B", "案件1", "Ｂ", "a", "A"};
        for (int i = 0; i < names.size(); ++i) addProject(root_, hexID(i + 1), names[i]);
        const QStringList sorted = namesOf(ArchiveLibrary::projects(root_));
        QLocale::setDefault(QLocale::c());
        QCOMPARE(sorted.mid(sorted.indexOf("案件1")), (QStringList{"案件1", "案件2", "案件10"}));
        // Case and width fold; the names that then tie keep one fixed order.
        QCOMPARE(sorted.mid(0, 2), (QStringList{"A", "a"}));
        QCOMPARE(sorted.mid(2, 3), (QStringList{"B", "b", "Ｂ"}));
    }

    void createsAProject() {
        ::umask(022);
        ProofModel model;
        addProject(root_, hexID(1), "案件1");
        addProject(root_, hexID(3), "案件3");
        model.setNewProjectName("\u3000案件2\n");
        model.setError(QStringLiteral("前の失敗"));
        model.createArchiveProject();
        QVERIFY(!model.error());
        QCOMPARE(model.newProjectName(), QString());
        QCOMPARE(model.status(), QStringLiteral("案件を作成しました。最初のPDFを初回原稿として登録してください。"));
        QCOMPARE(namesOf(model.archiveProjects()), (QStringList{"案件1", "案件2", "案件3"}));
        const ArchiveProject& made = model.archiveProjects()[1];
        QCOMPARE(model.archiveProjectID(), made.id);
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(made.id).hasMatch());
        const QString folder = root_ + "/" + made.id;
        QCOMPARE(modeOf(folder), mode_t(0700));
        QCOMPARE(modeOf(folder + "/project.json"), mode_t(0600));
        QCOMPARE(modeOf(root_ + "/.projects.lock"), mode_t(0600));
        QCOMPARE(readFile(folder + "/project.json"), projectRecord(made.id, "案件2"));
        QCOMPARE(entries(folder), QStringList{"project.json"});
        QCOMPARE(entries(root_).filter(".creating-"), QStringList());
    }

    void createSignalsItsWritesInOrder() {
        ProofModel model;
        model.setNewProjectName("案件");
        WriteLog log(model);
        model.createArchiveProject();
        QCOMPARE(log.writes(),
                 (QStringList{"archiveProjects", "archiveProjectID", "newProjectName", "(same)", "status"}));
    }

    void projectNames_data() {
        QTest::addColumn<QString>("existing");  // "" for none
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("code");  // -1: created
        QTest::addColumn<QString>("stored");
        const QString flag = QString::fromUtf8("\xF0\x9F\x87\xAF\xF0\x9F\x87\xB5");  // two regional indicators
        QTest::newRow("trimmed") << ""
                                 << "\u3000 案件A\n\r\t" << 3 << "";  // a tab is not trimmed, and is refused
        QTest::newRow("trimmed spaces and breaks") << ""
                                                   << "\u3000 案件A\u2028\n\u0085" << -1 << "案件A";
        QTest::newRow("made NFC") << "" << QString::fromUtf8("\u30AB\u3099") << -1 << "\u30AC";
        QTest::newRow("80 characters") << "" << QString(80, 'x') << -1 << QString(80, 'x');
        QTest::newRow("81 characters") << "" << QString(81, 'x') << 3 << "";
        QTest::newRow("79 and a flag") << "" << QString(79, 'x') + flag << -1 << QString(79, 'x') + flag;
        QTest::newRow("80 and a flag") << "" << QString(80, 'x') + flag << 3 << "";
        QTest::newRow("80 decomposed characters")
            << "" << QString::fromUtf8("e\u0301").repeated(80) << -1 << QString::fromUtf8("\u00E9").repeated(80);
        QTest::newRow("empty") << ""
                               << "" << 3 << "";
        QTest::newRow("spaces only") << ""
                                     << "   \u3000 " << 3 << "";
        QTest::newRow("tab inside") << ""
                                    << "案\t件" << 3 << "";
        QTest::newRow("zero-width space") << ""
                                          << "案\u200B件" << 3 << "";
        QTest::newRow("line feed inside") << ""
                                          << "案\n件" << 3 << "";
        QTest::newRow("same name") << "Café"
                                   << "Café" << 4 << "";
        QTest::newRow("other case, no accent") << "Café"
                                               << "cafe" << 4 << "";
        QTest::newRow("upper case with accent") << "Café"
                                                << "CAFÉ" << 4 << "";
        QTest::newRow("decomposed accent") << "Café" << QString::fromUtf8("Cafe\u0301") << 4 << "";
        // A "project.json" written elsewhere may hold its name decomposed.
        QTest::newRow("stored decomposed, typed plain") << QString::fromUtf8("Cafe\u0301") << "cafe" << 4 << "";
        QTest::newRow("stored decomposed, typed composed") << QString::fromUtf8("Cafe\u0301") << "CAFÉ" << 4 << "";
        QTest::newRow("stored decomposed kana, typed plain kana")
            << QString::fromUtf8("\u30AB\u3099\u30A4\u30C9") << "カイド" << -1 << "カイド";
        QTest::newRow("stored decomposed kana, typed composed kana")
            << QString::fromUtf8("\u30AB\u3099\u30A4\u30C9") << "ガイド" << 4 << "";
        QTest::newRow("kana voicing") << "カタログ"
                                      << "かたろぐ" << -1 << "かたろぐ";
        QTest::newRow("Greek accent and case") << "Ωμέγα"
                                               << "ωμεγα" << 4 << "";
        QTest::newRow("Cyrillic diaeresis and case") << "Ёлка"
                                                     << "елка" << 4 << "";
        QTest::newRow("dotted capital I") << "\u0130stanbul"
                                          << "istanbul" << 4 << "";
        QTest::newRow("voiced mark counts") << "ガイド"
                                            << "カイド" << -1 << "カイド";
        QTest::newRow("semi-voiced mark counts") << "ハンフ"
                                                 << "パンフ" << -1 << "パンフ";
        QTest::newRow("full-width letter counts") << "案件A"
                                                  << "案件\uFF21" << -1 << "案件\uFF21";
        QTest::newRow("full width is another name")
            << "Alpha"
            << "\uFF21\uFF4C\uFF50\uFF48\uFF41" << -1 << "\uFF21\uFF4C\uFF50\uFF48\uFF41";
        QTest::newRow("different name") << "Café"
                                        << "Cafés" << -1 << "Cafés";
    }
    void projectNames() {
        QFETCH(QString, existing);
        QFETCH(QString, typed);
        QFETCH(int, code);
        QFETCH(QString, stored);
        if (!existing.isEmpty()) addProject(root_, hexID(1), existing);
        const QStringList before = entries(root_);
        ProofModel model;
        model.setNewProjectName(typed);
        model.createArchiveProject();
        if (code >= 0) {
            QString message;
            QCOMPARE(codeOf([&] { ArchiveLibrary::create(typed, root_); }, &message), code);
            QCOMPARE(model.error(), std::optional(message));
            QCOMPARE(model.newProjectName(), typed);
            QCOMPARE(model.archiveProjectID(), QString());
            QCOMPARE(entries(root_).filter(QRegularExpression("^[0-9a-f]{32}$|^\\.creating")),
                     before.filter(QRegularExpression("^[0-9a-f]{32}$")));
            return;
        }
        QVERIFY2(!model.error(), qPrintable(model.error().value_or("")));
        const auto made = std::find_if(model.archiveProjects().begin(),
                                       model.archiveProjects().end(),
                                       [&](const ArchiveProject& p) { return p.id == model.archiveProjectID(); });
        QVERIFY(made != model.archiveProjects().end());
        QCOMPARE(made->name, stored);
        QCOMPARE(made->name.toUtf8(), stored.toUtf8());
    }

    void lockHeldElsewhere() {
        ArchiveLibrary::prepare(root_);
        // The holder keeps the lock until the test ends: a creation that waited for it would
        // never return.
        LockHolder holder(root_ + "/.projects.lock");
        QString message;
        QCOMPARE(codeOf([&] { ArchiveLibrary::create("案件", root_); }, &message), 7);
        QCOMPARE(message, QStringLiteral("別の操作で案件を作成中です。少し待って再試行してください。"));
        QCOMPARE(entries(root_), QStringList{".projects.lock"});
    }

    void linkedLockFile() {
        ArchiveLibrary::prepare(root_);
        writeFile(home_->scratch() + "/target", "");
        QVERIFY(QFile::link(home_->scratch() + "/target", root_ + "/.projects.lock"));
        QCOMPARE(codeOf([&] { ArchiveLibrary::create("案件", root_); }), 6);
        QCOMPARE(entries(root_), QStringList{".projects.lock"});
    }

    void lockIsReleasedAfterEveryCreation() {
        QCOMPARE(codeOf([&] { ArchiveLibrary::create("", root_); }), 3);
        QCOMPARE(codeOf([&] { ArchiveLibrary::create("一", root_); }), -1);
        QCOMPARE(codeOf([&] { ArchiveLibrary::create("一", root_); }), 4);
        const int fd = ::open((root_ + "/.projects.lock").toUtf8().constData(), O_RDWR);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        ::close(fd);
        QCOMPARE(ArchiveLibrary::projects(root_).size(), 1);
    }

    void createDoesNothingWhileRunning() {
        ProofModel model;
        writeScript(*home_, script({waitForTerm()}));
        model.workerProgram = TESMIRA_FAKE_WORKER;
        model.select({fileUrl("/in/a.pdf")}, true);
        model.select({fileUrl("/in/a.pdf")}, false);
        model.start();
        model.setNewProjectName("案件");
        WriteLog log(model);
        model.createArchiveProject();
        QCOMPARE(log.count(), 0);
        QVERIFY(!QFileInfo::exists(root_));
        model.cancel();
        QVERIFY(settles(model));
    }

    void recordsEncodeAndDecode() {
        const ArchiveProject project{1, hexID(10), "カタログ「春」"};
        QCOMPARE(QByteArray::fromStdString(encodeProject(project)), projectRecord(hexID(10), "カタログ「春」"));
        QVERIFY(decodeProject(encodeProject(project)) == project);
    }

    // The worker's archive mode takes a project made here: it registers the first version,
    // then compares a new one with it.
    void workerRegistersAndComparesOnAProjectMadeHere() {
        ProofModel model;
        model.workerProgram = TESMIRA_WORKER;
        model.settings().setDpi(144);
        model.setNewProjectName("春のカタログ");
        model.createArchiveProject();
        QVERIFY(!model.error());
        model.setArchiveMode(true);
        const QString first = home_->scratch() + "/v1/カタログ.pdf", second = home_->scratch() + "/v2/カタログ.pdf";
        writeSamplePdf(first, 1, 0);
        writeSamplePdf(second, 1, 2);

        model.select({fileUrl(first)}, false);
        QVERIFY(model.canStart());
        model.start(true);
        QVERIFY(settles(model));
        QVERIFY2(!model.error(), qPrintable(model.error().value_or("")));
        QCOMPARE(model.status(), QStringLiteral("1件を初回保存しました。次回は新しいPDFだけで比較できます。"));
        QVERIFY(model.after().isEmpty());
        QCOMPARE(QDir(root_ + "/" + model.archiveProjectID() + "/versions").entryList(QDir::Files).size(), 1);

        model.select({fileUrl(second)}, false);
        model.start();
        QVERIFY(settles(model));
        QVERIFY2(!model.error(), qPrintable(model.error().value_or("")));
        QCOMPARE(
            model.status(),
            QStringLiteral(
                "1ページ完了・1件のPDFをダウンロードに保存しました\nこの案件の最新保存版も更新しました。過去版は残しています。"));
        QCOMPARE(model.results().size(), 1);
        QVERIFY(model.results()[0].regions > 0);
        QCOMPARE(QDir(root_ + "/" + model.archiveProjectID() + "/versions").entryList(QDir::Files).size(), 2);
        // The project is listed as it was.
        model.refreshArchiveProjects();
        QCOMPARE(namesOf(model.archiveProjects()), QStringList{"春のカタログ"});
    }

private:
    std::unique_ptr<TestHome> home_;
    QString root_;
};

QTEST_GUILESS_MAIN(ArchiveTest)
#include "archive_test.moc"
