// The desktop application: its main window owns the model and everything on screen. A start
// while a window is open hands its files to that window instead.
#include <QApplication>

#include "app/ui/application.hpp"
#include "app/ui/application_service.hpp"
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
    tesmira::ui::ApplicationService service;
    // A window that does not answer gets a second one beside it, as without a session bus.
    if (service.claim() == tesmira::ui::ApplicationService::Claim::taken && tesmira::ui::handOver(*files)) return 0;

    tesmira::ui::MainWindow window;
    tesmira::ui::serve(service, window);
    tesmira::ui::addStartFiles(window.model(), *files);
    tesmira::ui::present(window);
    return QApplication::exec();
}
