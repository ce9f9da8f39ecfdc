// Takes a picture of the main window after a finished comparison of the bundled sample PDFs,
// in a private home folder, for the README. Usage:
//   window_screenshot OUTPUT.png [--archive] [--changes N] [--view before|after|side]
// With --archive the window is in archive mode with a project made for the picture, and the
// sample's new PDF is compared with its old one registered as the saved version. Without
// --changes the second result page is shown; with it, the window steps N changes ("次の
// 変更") from the start. --view shows the old page, the new one or both side by side.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QMainWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

#include "app/ui/application.hpp"
#include "app/ui/main_window.hpp"

using tesmira::app::ProofModel;

namespace {

// Runs the event loop until the run has settled.
void awaitSettlement(ProofModel& model) {
    QEventLoop loop;
    QObject::connect(&model, &ProofModel::willChange, &loop, [&] {
        QTimer::singleShot(0, &loop, [&] {
            if (!model.running()) loop.quit();
        });
    });
    if (model.running()) loop.exec();
}

void pause(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tesmira::ui::setUpApplication();
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_screenshot OUTPUT.png [--archive]\n");
        return 2;
    }
    const QStringList options = QApplication::arguments().mid(2);
    const bool archive = options.contains(QStringLiteral("--archive"));
    const auto value = [&](const char* name) {
        const qsizetype at = options.indexOf(QLatin1String(name));
        return at >= 0 && at + 1 < options.size() ? options[at + 1] : QString();
    };
    const int changes = value("--changes").toInt();
    const QString view = value("--view");
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    QDir().mkpath(home.path() + "/Downloads");
    const QString samples = QStringLiteral(TESMIRA_SOURCE_DIR "/samples");
    const QUrl oldPdf = QUrl::fromLocalFile(samples + "/old/catalogue.pdf");
    const QUrl newPdf = QUrl::fromLocalFile(samples + "/new/catalogue.pdf");

    tesmira::ui::MainWindow window;
    ProofModel& model = window.model();
    model.workerProgram = QStringLiteral(TESMIRA_WORKER);
    model.views().helperProgram = QStringLiteral(TESMIRA_PAGE_VIEWS);
    window.show();
    if (archive) {
        model.setNewProjectName(QStringLiteral("春のカタログ"));
        model.createArchiveProject();
        model.setArchiveMode(true);
        // As the operator chooses the mode: the pop-up shows it.
        if (auto* mode = window.findChild<QComboBox*>(QStringLiteral("modeCombo"))) mode->setCurrentIndex(1);
        model.select({oldPdf}, false);
        model.start(true);
        awaitSettlement(model);
        model.select({newPdf}, false);
    } else {
        model.select({oldPdf}, true);
        model.select({newPdf}, false);
    }
    model.start();
    awaitSettlement(model);
    if (model.error()) {
        std::fprintf(stderr, "the comparison failed: %s\n", qPrintable(*model.error()));
        return 1;
    }
    if (changes > 0) {
        auto* nextChange = window.findChild<QAbstractButton*>(QStringLiteral("nextChangeButton"));
        for (int i = 0; i < changes && nextChange; ++i) nextChange->click();
    } else {
        // The second result page shows the changes of the sample.
        auto* next = window.findChild<QPushButton*>(QStringLiteral("nextButton"));
        if (next && next->isEnabled()) next->click();
    }
    const QString segment = view == QLatin1String("before")  ? QStringLiteral("beforeViewButton")
                            : view == QLatin1String("after") ? QStringLiteral("afterViewButton")
                            : view == QLatin1String("side")  ? QStringLiteral("sideBySideButton")
                                                             : QString();
    if (auto* button = segment.isEmpty() ? nullptr : window.findChild<QAbstractButton*>(segment)) button->click();
    pause(2500);  // the old and new pages are drawn by the helper
    return window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
