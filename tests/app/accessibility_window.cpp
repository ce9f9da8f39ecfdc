// The window that the accessibility test reads: one whole comparison with the real worker,
// on a virtual display, in a private home folder, with its file lists and results emptied
// afterwards (when a screen reader used to lose rows under it), after stepping back through its
// changes and blinking. Usage:
//   accessibility_window [--archive]
// With --archive the new PDF is registered in a project and then compared with itself.
#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

#include "app/ui/application.hpp"
#include "app/ui/main_window.hpp"
#include "model_test_support.hpp"

using namespace tesmira::app;
using namespace tesmira::app::testing;

namespace {

// Runs the event loop until the run has settled.
void awaitSettlement(ProofModel& model) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!model.running()) loop.quit();
    });
    poll.start(20);
    loop.exec();
}

void waitFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tesmira::ui::setUpApplication();
    const bool archive = argc > 1 && QString::fromLocal8Bit(argv[1]) == QLatin1String("--archive");
    const TestHome home;
    const QString old = home.scratch() + "/old/a.pdf", now = home.scratch() + "/new/a.pdf";
    writeSamplePdf(old, 3, 0, 595, 842);
    writeSamplePdf(now, 3, 1, 595, 842);

    tesmira::ui::MainWindow window;
    ProofModel& model = window.model();
    model.workerProgram = QStringLiteral(TESMIRA_WORKER);
    model.settings().setDpi(144);
    window.show();
    waitFor(300);
    if (archive) {
        model.setNewProjectName(QStringLiteral("見本"));
        model.createArchiveProject();
        model.setArchiveMode(true);
        model.select({fileUrl(now)}, false);
        model.start(true);
        awaitSettlement(model);
        model.select({fileUrl(now)}, false);
    } else {
        model.select({fileUrl(old)}, true);
        model.select({fileUrl(now)}, false);
    }
    waitFor(300);
    model.start();
    awaitSettlement(model);
    if (model.error()) {
        std::fprintf(stderr, "the comparison failed: %s\n", qPrintable(*model.error()));
        return 1;
    }
    for (int page = 1; page < model.results().size(); ++page) {
        window.findChild<QPushButton*>(QStringLiteral("nextButton"))->click();
        waitFor(200);
    }
    // Back through the changes, which moves the change list's current row, and a blink of the old
    // and the new page.
    auto* previousChange = window.findChild<QAbstractButton*>(QStringLiteral("previousChangeButton"));
    for (int step = 0; step < 8 && previousChange->isEnabled(); ++step) {
        previousChange->click();
        waitFor(150);
    }
    window.findChild<QAbstractButton*>(QStringLiteral("blinkButton"))->click();
    waitFor(1200);
    model.reset();
    waitFor(500);
    return 0;
}
