#pragma once
// Tells the desktop that something has happened while the window was in the background.

#include <QString>

namespace tesmira::app {

// Sends a desktop notification (org.freedesktop.Notifications.Notify on the session bus) from
// "てすみら" with `summary` and `body`, without waiting for an answer. Without a session bus or
// a notification service nothing happens.
void notifyDesktop(const QString& summary, const QString& body);

}  // namespace tesmira::app
