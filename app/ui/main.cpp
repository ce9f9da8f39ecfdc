// The desktop application: one delegate that owns the model and the main window.
#include <QApplication>

#include "app/ui/application.hpp"
#include "app/ui/delegate.hpp"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tesmira::ui::setUpApplication();
    tesmira::ui::DezaroziDelegate delegate;
    delegate.createWindow(true);
    return QApplication::exec();
}
