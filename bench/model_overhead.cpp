// How much the proof model adds to a run: the bundled sample comparison through the model
// (start, events, settlement, on the event loop) against the worker alone on the same pair,
// alternating, in one run. Usage: model_overhead [ROUNDS]   (default 5)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/model/proof_model.hpp"
#include "app/model/worker_command.hpp"

using namespace tesmira::app;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    const QString downloads = home.path() + "/Downloads";
    QDir().mkpath(downloads);
    const QString samples = QStringLiteral(TESMIRA_SOURCE_DIR "/samples");
    const QList<QUrl> before{QUrl::fromLocalFile(samples + "/old/catalogue.pdf")};
    const QList<QUrl> after{QUrl::fromLocalFile(samples + "/new/catalogue.pdf")};

    ProofModel model;
    model.workerProgram = QStringLiteral(TESMIRA_WORKER);
    std::vector<double> throughModel, alone;
    for (int round = 0; round < rounds; ++round) {
        model.select(before, true);
        model.select(after, false);
        QElapsedTimer clock;
        clock.start();
        model.start();
        // Woken by the model's own change signal (as the window is), not by polling.
        QEventLoop loop;
        QObject::connect(&model, &ProofModel::willChange, &loop, [&] {
            QMetaObject::invokeMethod(
                &loop,
                [&] {
                    if (!model.running()) loop.quit();
                },
                Qt::QueuedConnection);
        });
        if (model.running()) loop.exec();
        if (model.error()) {
            std::fprintf(stderr, "the run through the model failed: %s\n", qPrintable(model.error().value_or("")));
            return 1;
        }
        throughModel.push_back(clock.nsecsElapsed() / 1e9);

        QProcess worker;
        worker.setProcessEnvironment(workerEnvironment());
        const QString settings = QString::fromStdString(model.settings().dictionary().dump());
        clock.restart();
        WorkerRunRequest request;
        request.before = before;
        request.after = after;
        request.outputRoot = downloads;
        request.settingsJson = settings;
        worker.start(model.workerProgram, workerArguments(request));
        if (!worker.waitForFinished(600000) || worker.exitCode() != 0) return 1;
        alone.push_back(clock.nsecsElapsed() / 1e9);
    }
    const double m = median(throughModel), w = median(alone);
    std::printf("sample pair (3 pages, %lld dpi), %d rounds, medians\n",
                static_cast<long long>(model.settings().dpi()),
                rounds);
    std::printf("worker alone:        %.3f s\n", w);
    std::printf("through the model:   %.3f s\n", m);
    std::printf("added by the model:  %+.1f %%\n", (m / w - 1) * 100);
    return 0;
}
