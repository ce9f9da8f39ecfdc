// What a very long message costs the window: laying out a line-limited label (the status,
// four lines; the result title, two) for a text of a few lines and for texts of 10,000 and
// 1,000,000 characters, each with and without line breaks, and a whole refresh of the main
// window that shows such a message. A long text should cost about what a short one does.
// Usage: QT_QPA_PLATFORM=offscreen label_layout [ROUNDS]
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/ui/line_limited_label.hpp"
#include "app/ui/main_window.hpp"

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Step>
double millisecondsOf(int rounds, Step step) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer clock;
        clock.start();
        step(i);
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());

    const QString sentence = QStringLiteral("変更後のPDFを読み込めませんでした。ファイルを確認してください。");
    struct Text {
        const char* name;
        QString text;
    };
    const std::vector<Text> texts = {
        {"a few lines (baseline)", sentence + QLatin1Char('\n') + sentence},
        {"10,000 characters", QString(10000, QChar(0x3042))},
        {"1,000,000 characters", QString(1000000, QChar(0x3042))},
        {"1,000,000 characters in lines", QStringLiteral("あいうえお\n").repeated(166667)},
    };

    std::printf("Line-limited label, 300 pixels wide, 4 lines: set the text and measure its height (median of %d)\n",
                rounds);
    for (const Text& text : texts) {
        const double ms = millisecondsOf(rounds, [&](int round) {
            tesmira::ui::LineLimitedLabel label(4);
            label.resize(300, 100);
            label.setFullText(text.text + QString::number(round));
            (void)label.heightForWidth(300);
            (void)label.sizeHint();
        });
        std::printf("  %-32s %9.2f ms\n", text.name, ms);
    }

    tesmira::ui::MainWindow window;
    window.show();
    std::printf("Main window: refresh with the message as the error (median of %d)\n", rounds);
    for (const Text& text : texts) {
        const double ms = millisecondsOf(rounds, [&](int round) {
            window.model().setError(text.text + QString::number(round));
            window.refresh();
            QApplication::processEvents();
        });
        std::printf("  %-32s %9.2f ms\n", text.name, ms);
    }
    return 0;
}
