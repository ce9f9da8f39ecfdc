#include "app/ui/application_service.hpp"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFileInfo>
#include <QUrl>
#include <QVariantList>
#include <QWidget>

#include "app/ui/main_window.hpp"

namespace tesmira::ui {
namespace {

const QString OBJECT_PATH = QStringLiteral("/com/example/tesmira");
const QString INTERFACE = QStringLiteral("org.freedesktop.Application");
// The action by which a later start hands over its files with their sides: its parameters are
// the old, the new and the files for the first empty side, each a list of absolute paths.
const QString OPEN_FILES_ACTION = QStringLiteral("open-files");
constexpr int HAND_OVER_TIMEOUT_MS = 10000;

// What the platform lets a window be raised with, as launchers pass it on.
QVariantMap platformData() {
    QVariantMap data;
    if (qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"))
        data.insert(QStringLiteral("activation-token"), qEnvironmentVariable("XDG_ACTIVATION_TOKEN"));
    if (qEnvironmentVariableIsSet("DESKTOP_STARTUP_ID"))
        data.insert(QStringLiteral("desktop-startup-id"), qEnvironmentVariable("DESKTOP_STARTUP_ID"));
    return data;
}

QStringList absolutePaths(const QStringList& paths) {
    QStringList absolute;
    for (const QString& path : paths) absolute << QFileInfo(path).absoluteFilePath();
    return absolute;
}

QStringList localPaths(const QStringList& uris) {
    QStringList paths;
    for (const QString& uri : uris) {
        const QUrl url(uri);
        // A URI that is no local file stays as it came, for the model to refuse as it would a drop.
        paths << (url.isLocalFile() ? url.toLocalFile() : uri);
    }
    return paths;
}

}  // namespace

// org.freedesktop.Application on the application's object.
class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit ApplicationAdaptor(ApplicationService* service) : QDBusAbstractAdaptor(service), service_(service) {}

public slots:
    void Activate(const QVariantMap& platformData) { service_->take({}, platformData); }
    void Open(const QStringList& uris, const QVariantMap& platformData) {
        service_->take(openedFiles(localPaths(uris)), platformData);
    }
    void ActivateAction(const QString& name, const QVariantList& parameters, const QVariantMap& platformData) {
        if (name != OPEN_FILES_ACTION || parameters.size() != 3) return;
        const auto list = [&](int i) { return qdbus_cast<QStringList>(parameters[i]); };
        service_->take({list(0), list(1), list(2)}, platformData);
    }

private:
    ApplicationService* service_;
};

ApplicationService::ApplicationService() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    new ApplicationAdaptor(this);  // owned by this object
    // The object first, so that a start that finds the name finds the object answering too.
    if (!bus.registerObject(OBJECT_PATH, this)) return;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        APPLICATION_ID, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    claim_ =
        reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered ? Claim::ours : Claim::taken;
    if (claim_ != Claim::ours) bus.unregisterObject(OBJECT_PATH);
}

ApplicationService::~ApplicationService() {
    if (claim_ != Claim::ours) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(OBJECT_PATH);
    bus.unregisterService(APPLICATION_ID);
}

void ApplicationService::take(const StartFiles& files, const QVariantMap& platformData) {
    // Wayland raises a window only with the launcher's token, which Qt takes from there.
    const QString token = platformData.value(QStringLiteral("activation-token")).toString();
    if (!token.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    if (open) open(files);
}

void present(QWidget& window) {
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
}

void serve(ApplicationService& service, MainWindow& window) {
    service.open = [&window](const StartFiles& files) {
        addStartFiles(window.model(), files);
        present(window);
    };
}

bool handOver(const StartFiles& files) {
    QDBusMessage call;
    if (files.isEmpty()) {
        call = QDBusMessage::createMethodCall(APPLICATION_ID, OBJECT_PATH, INTERFACE, QStringLiteral("Activate"));
        call << platformData();
    } else {
        call = QDBusMessage::createMethodCall(APPLICATION_ID, OBJECT_PATH, INTERFACE, QStringLiteral("ActivateAction"));
        call << OPEN_FILES_ACTION
             << QVariantList{absolutePaths(files.before), absolutePaths(files.after), absolutePaths(files.eitherSide)}
             << platformData();
    }
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, HAND_OVER_TIMEOUT_MS);
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace tesmira::ui

#include "application_service.moc"
