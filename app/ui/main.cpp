// The desktop application: its main window owns the model and everything on screen.
#include <QApplication>

#include "app/ui/application.hpp"
#include "app/ui/command_line.hpp"
#include "app/ui/main_window.hpp"

int main(int argc, char** argv) {
    if (tesmira::ui::asksForHelpOrVersion(argc, argv)) {
        // No display is needed to print them.
        QCoreApplication core(argc, argv);
        tesmira::ui::setApplicationNames();
        tesmira::ui::showHelpOrVersion(QCoreApplication::arguments());
    }
    QApplication application(argc, argv);
    tesmira::ui::setUpApplication();
    const std::optional<tesmira::ui::StartFiles> files = tesmira::ui::readCommandLine(QApplication::arguments());
    if (!files) return 2;
    tesmira::ui::MainWindow window;
    tesmira::ui::addStartFiles(window.model(), *files);
    window.show();
    window.raise();
    window.activateWindow();
    return QApplication::exec();
}
