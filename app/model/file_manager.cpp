#include "app/model/file_manager.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include "app/model/file_names.hpp"

namespace tesmira::app {
namespace {

void openFolder(const QString& folder) {
    // xdg-open hands the folder to the desktop's default file manager.
    QProcess::startDetached(QStringLiteral("xdg-open"), {folder});
}

}  // namespace

void selectInFileManager(const QList<QUrl>& files) {
    if (files.isEmpty()) return;
    const QString folder = QFileInfo(filePath(files.first())).absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(folder);
        return;
    }
    QStringList uris;
    for (const QUrl& file : files) uris.append(file.toString(QUrl::FullyEncoded));
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                                       QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("ShowItems"));
    call << uris << QString();
    // Asynchronous, so that a slow file manager never holds up the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [folder](QDBusPendingCallWatcher* done) {
        if (done->isError()) openFolder(folder);
        done->deleteLater();
    });
}

}  // namespace tesmira::app
