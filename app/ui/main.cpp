// The desktop application: its main window owns the model and everything on screen.
#include <QApplication>

#include "app/ui/application.hpp"
#include "app/ui/main_window.hpp"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tesmira::ui::setUpApplication();
    tesmira::ui::MainWindow window;
    window.show();
    window.raise();
    window.activateWindow();
    return QApplication::exec();
}
