// The desktop application: one delegate that owns the model and the main window.
#include <QApplication>
#include <QTimer>

#include "app/ui/delegate.hpp"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tesmira"));
    QApplication::setApplicationDisplayName(QStringLiteral("てすみら"));
    QApplication::setApplicationVersion(QStringLiteral(TESMIRA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tesmira"));
    // The delegate decides about quitting; closing the window asks it.
    QApplication::setQuitOnLastWindowClosed(false);
    tesmira::ui::DezaroziDelegate delegate;
    delegate.createWindow(true);
    return QApplication::exec();
}
