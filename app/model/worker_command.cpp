#include "app/model/worker_command.hpp"

#include <QDir>

#include "app/model/file_names.hpp"

namespace tesmira::app {

QStringList workerArguments(const WorkerRunRequest& request) {
    QStringList arguments{QStringLiteral("--after")};
    for (const QUrl& url : request.after) arguments.append(filePath(url));
    arguments << QStringLiteral("--output-root") << request.outputRoot << QStringLiteral("--settings-json")
              << request.settingsJson;
    if (!request.comparedCopies.isEmpty()) arguments << QStringLiteral("--compared-copies") << request.comparedCopies;
    if (request.archiveMode) {
        arguments << QStringLiteral("--archive-mode")
                  << (request.registerBaseline ? QStringLiteral("register") : QStringLiteral("compare"))
                  << QStringLiteral("--archive-root") << request.archiveRoot << QStringLiteral("--project-id")
                  << request.projectID;
    } else {
        arguments.append(QStringLiteral("--before"));
        for (const QUrl& url : request.before) arguments.append(filePath(url));
    }
    return arguments;
}

QProcessEnvironment workerEnvironment() {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin:/usr/sbin:/sbin"));
    environment.insert(QStringLiteral("HOME"), QDir::homePath());
    environment.insert(QStringLiteral("LANG"), QStringLiteral("ja_JP.UTF-8"));
    environment.insert(QStringLiteral("PYTHONNOUSERSITE"), QStringLiteral("1"));
    if (const QString temporary = qEnvironmentVariable("TMPDIR"); !temporary.isEmpty())
        environment.insert(QStringLiteral("TMPDIR"), temporary);
    return environment;
}

}  // namespace tesmira::app
