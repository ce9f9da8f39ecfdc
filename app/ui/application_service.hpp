#pragma once
// One window for the application, as desktop applications have it: the first start takes the
// application's id as its name on the session bus and offers org.freedesktop.Application there;
// a later start hands its files to that window, which shows itself, instead of opening another.
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

#include "app/ui/command_line.hpp"

class QWidget;

namespace tesmira::ui {

class MainWindow;

// The application's id: its name on the session bus, and the id of its AppStream metainfo.
inline const QString APPLICATION_ID = QStringLiteral("com.example.tesmira");

// The application's object on the session bus, registered with the name for as long as it lives.
class ApplicationService : public QObject {
    Q_OBJECT

public:
    // Whether this start holds the application's name on the session bus.
    enum class Claim {
        ours,   // the first window
        taken,  // another start holds it
        withoutBus,
    };

    ApplicationService();
    ~ApplicationService() override;

    Claim claim() const { return claim_; }

    // Called from the event loop with the files a later start hands over (none when it only
    // asks for the window), after the platform's activation token is in place; to be set once
    // the window is there.
    std::function<void(const StartFiles&)> open;

    // What the bus interface calls.
    void take(const StartFiles& files, const QVariantMap& platformData);

private:
    Claim claim_ = Claim::withoutBus;
};

// Shows the window in front, also when it is minimized or behind other windows.
void present(QWidget& window);

// From now on, what later starts hand over goes to `window`: their files added as those of
// this start were, and the window brought to the front.
void serve(ApplicationService& service, MainWindow& window);

// Hands the files (paths relative to the working folder, as given) to the window of the start
// that holds the application's name; false when it did not take them (no answer in time).
bool handOver(const StartFiles& files);

}  // namespace tesmira::ui
