#include "app/model/desktop_notification.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace tesmira::app {

void notifyDesktop(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                       QStringLiteral("/org/freedesktop/Notifications"),
                                                       QStringLiteral("org.freedesktop.Notifications"),
                                                       QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (the
    // server's default).
    call << QStringLiteral("てすみら") << 0u << QStringLiteral("tesmira") << summary << body << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("tesmira")}} << -1;
    call.setAutoStartService(true);
    bus.call(call, QDBus::NoBlock);
}

}  // namespace tesmira::app
