// How quickly the window is there, and how quickly a finished run shows its first result.
//  1. From entering main to the end of the first refresh, with the project list read (ten
//     archive projects in a private home folder).
//  2. From the moment the "complete" event of a 300-dpi A4 run is applied to the moment the
//     preview shows the first result page (its red outlines are on screen).
// Usage: QT_QPA_PLATFORM=offscreen window_start   (or under xvfb-run with the xcb platform)
#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

#include "app/model/archive_library.hpp"
#include "app/ui/main_window.hpp"
#include "sample_document.hpp"

using tesmira::app::ProofModel;

namespace {

QElapsedTimer sinceMain;

bool showsRed(const QImage& image) {
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            const QRgb c = image.pixel(x, y);
            if (qRed(c) > 190 && qGreen(c) < 90 && qBlue(c) < 90) return true;
        }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    sinceMain.start();
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    QDir().mkpath(home.path() + "/Downloads");
    for (int i = 1; i <= 10; ++i)
        tesmira::app::ArchiveLibrary::create(QStringLiteral("案件%1").arg(i),
                                             home.path() + QStringLiteral("/てすみら保存版"));
    const qint64 prepared = sinceMain.nsecsElapsed();

    QApplication application(argc, argv);
    tesmira::ui::MainWindow window;
    window.model().workerProgram = QStringLiteral(TESMIRA_WORKER);
    window.show();
    const double started = (sinceMain.nsecsElapsed() - prepared) / 1e6;
    QApplication::processEvents();

    // A one-page A4 pair with changes, at 300 dpi.
    const QString old = home.path() + "/old/a4.pdf", now = home.path() + "/new/a4.pdf";
    QDir().mkpath(home.path() + "/old");
    QDir().mkpath(home.path() + "/new");
    tesmira::fixtures::write_pdf({{tesmira::bench::catalogue_page(1, false)}}, old.toStdString());
    tesmira::fixtures::write_pdf({{tesmira::bench::catalogue_page(1, true)}}, now.toStdString());
    ProofModel& model = window.model();
    model.select({QUrl::fromLocalFile(old)}, true);
    model.select({QUrl::fromLocalFile(now)}, false);

    QElapsedTimer sinceComplete;
    double shown = -1;
    QEventLoop loop;
    QTimer watch;
    QObject::connect(&model, &ProofModel::willChange, [&] {
        // "complete" writes the output folder first, then the results: the clock starts as soon
        // as the event is being applied, before anything of it reaches the window.
        if (!sinceComplete.isValid() && model.output()) sinceComplete.start();
    });
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (sinceComplete.isValid() &&
            showsRed(window.findChild<QAbstractScrollArea*>(QStringLiteral("preview"))->viewport()->grab().toImage())) {
            shown = sinceComplete.nsecsElapsed() / 1e6;
            loop.quit();
        }
        if (!model.running() && model.error()) loop.quit();
    });
    watch.start(2);
    model.start();
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    if (shown < 0) {
        std::fprintf(stderr, "no result page shown: %s\n", qPrintable(model.error().value_or(model.status())));
        return 1;
    }
    std::printf("main to first refresh, 10 projects listed: %.1f ms (target 500 ms)\n", started);
    std::printf("\"complete\" to first result page shown (300 dpi A4): %.1f ms (target 300 ms)\n", shown);
    return 0;
}
