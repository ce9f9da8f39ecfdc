#include "app/model/archive_library.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCollator>
#include <QDir>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "app/model/project_name.hpp"
#include "common/descriptor.hpp"
#include "common/files.hpp"
#include "common/owned_items.hpp"
#include "common/project_record.hpp"
#include "common/random_id.hpp"

namespace tesmira::app {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const char* what, const fs::path& path) {
    throw fs::filesystem_error(what, path, std::error_code(errno, std::generic_category()));
}

fs::path pathOf(const QString& folder) { return fs::path(folder.toStdString()); }

// lstat; a failure passes through.
struct stat linkStatus(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) fail("cannot read attributes", path);
    return info;
}

// The name order of the file manager: the user's collation with numbers by value, case
// and width folded, and code points between names the collation finds equal.
void sortByName(QList<ArchiveProject>& projects) {
    QLocale locale;
    // The C locale has no collation; the neutral one still orders digits by value.
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(projects.begin(), projects.end(), [&](const ArchiveProject& a, const ArchiveProject& b) {
        const int order = collator.compare(a.name, b.name);
        return order != 0 ? order < 0 : a.name.toUtf8() < b.name.toUtf8();
    });
}

// The exclusive lock that serialises project creation across processes; released when it
// goes.
class CreationLock {
public:
    explicit CreationLock(const fs::path& root)
        : file_(::open((root / ".projects.lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)) {
        if (file_.get() < 0) throw ArchiveError(6, "案件の管理ファイルを開けません。");
        if (::flock(file_.get(), LOCK_EX | LOCK_NB) != 0)
            throw ArchiveError(7, "別の操作で案件を作成中です。少し待って再試行してください。");
    }
    ~CreationLock() { ::flock(file_.get(), LOCK_UN); }

private:
    Descriptor file_;
};

constexpr std::string_view STAGING_PREFIX = ".creating-";

// A staging folder that is removed, with what it holds, unless it has been moved away.
class StagingFolder {
public:
    explicit StagingFolder(fs::path path) : path_(std::move(path)) { make_folder(path_, 0700); }
    ~StagingFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void writeNewFile(const fs::path& path, const std::string& bytes) {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file.get() < 0) fail("cannot create", path);
    for (std::size_t written = 0; written < bytes.size();) {
        const ssize_t n = ::write(file.get(), bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("cannot write", path);
        }
        written += std::size_t(n);
    }
    if (::fchmod(file.get(), 0600) != 0) fail("cannot set mode", path);
    // A project whose "project.json" were lost in a power cut would break every listing.
    if (::fsync(file.get()) != 0) fail("cannot sync", path);
}

}  // namespace

QString ArchiveLibrary::root() { return QDir::homePath() + QStringLiteral("/てすみら保存版"); }

void ArchiveLibrary::prepare(const QString& folder) {
    const fs::path path = pathOf(folder);
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
        throw ArchiveError(1, "保存版フォルダーのリンクは使用できません。");
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) fail("cannot read attributes", path);
        if (::mkdir(path.c_str(), 0700) != 0) fail("cannot create folder", path);
        if (::chmod(path.c_str(), 0700) != 0) fail("cannot set mode", path);  // whatever the umask
        return;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        throw ArchiveError(8, "保存版フォルダーの種類・所有者を確認してください。");
    if (::chmod(path.c_str(), 0700) != 0) fail("cannot set mode", path);
}

QList<ArchiveProject> ArchiveLibrary::projects(const QString& folder) {
    prepare(folder);
    QList<ArchiveProject> projects;
    for (const fs::directory_entry& entry : fs::directory_iterator(pathOf(folder))) {
        const std::string name = entry.path().filename().string();
        if (!is_hex32(name)) continue;
        if (S_ISLNK(linkStatus(entry.path()).st_mode)) continue;
        const fs::path record = entry.path() / "project.json";
        if (S_ISLNK(linkStatus(record).st_mode)) throw ArchiveError(5, "案件情報のリンクは使用できません。");
        const ArchiveProject project = decodeProject(read_regular_file(record, MAX_PROJECT_RECORD_BYTES));
        if (project.version != 1 || project.id != QString::fromStdString(name))
            throw ArchiveError(2, "保存版の案件情報を確認できません。");
        projects.append(project);
    }
    sortByName(projects);
    return projects;
}

ArchiveProject ArchiveLibrary::create(const QString& name, const QString& folder) {
    prepare(folder);
    const fs::path root = pathOf(folder);
    const CreationLock lock(root);
    // Creations are one at a time: a staging folder found now was left by a killed one.
    sweep_leftovers(root, std::array{STAGING_PREFIX});

    const std::string normalized = normalizedProjectName(name.toStdString());
    if (!isAcceptableProjectName(normalized)) throw ArchiveError(3, "案件名は1〜80文字で入力してください。");
    const std::string key = projectNameKey(normalized);
    for (const ArchiveProject& existing : projects(folder))
        if (projectNameKey(existing.name.toStdString()) == key)
            throw ArchiveError(4, "同じ名前の案件があります。既存の案件を選んでください。");

    const std::string id = uuid4_hex();
    const ArchiveProject project{1, QString::fromStdString(id), QString::fromStdString(normalized)};
    const std::string record = encodeProject(project);
    // A name of 80 characters, each with marks without end, could otherwise make a project
    // that no listing reads.
    if (record.size() > MAX_PROJECT_RECORD_BYTES) throw ArchiveError(3, "案件名は1〜80文字で入力してください。");
    const StagingFolder staging(root / (std::string(STAGING_PREFIX) + id));
    writeNewFile(staging.path() / "project.json", record);
    sync_folder(staging.path());
    rename_no_replace(staging.path(), root / id);
    sync_folder(root);
    return project;
}

}  // namespace tesmira::app
