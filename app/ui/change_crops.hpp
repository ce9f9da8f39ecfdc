#pragma once
// Small pictures of each change of the run on the old and on the new page, cut from the views
// that the helper draws (asked for after the pages the operator looks at, and only a moment
// after new results came, so that the first result page is on screen first). A page's two views
// are read and cut away from the window's thread, once for all its changes.

#include <QFutureWatcher>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QThreadPool>
#include <QTimer>

#include <map>
#include <memory>

namespace tesmira::app {
class ProofModel;
}

namespace tesmira::ui {

class ChangeCrops : public QObject {
    Q_OBJECT

public:
    // The size a crop is drawn at, in device-independent pixels.
    static constexpr QSize SIZE{94, 58};

    struct Crops {
        enum class State { Waiting, Ready, Missing };
        State state = State::Waiting;
        QImage before, after;  // once Ready
    };

    explicit ChangeCrops(app::ProofModel& model, QObject* parent = nullptr);
    ~ChangeCrops() override;  // waits for the pages being cut

    // The crops of row `row` of the model's change list; while they are not cut yet, asks for
    // them. Missing when the page's views cannot be drawn.
    Crops crops(qsizetype row);

signals:
    void cut();  // some crops are there (or turned out missing)

private:
    struct PageCrops {
        QList<qsizetype> rows;
        QList<Crops> crops;
    };
    void startCutting(qsizetype result, const QString& before, const QString& after);
    void finishCutting(qsizetype result);
    void forget();

    app::ProofModel& model_;
    // Two pages at a time: each holds its two views whole while it is cut.
    QThreadPool pool_;
    QTimer firstPageFirst_;          // runs while the results are new: nothing is asked for meanwhile
    QHash<qsizetype, Crops> crops_;  // by row
    // The pages being cut, by result index, each with its share of the work.
    std::map<qsizetype, std::unique_ptr<QFutureWatcher<PageCrops>>> cutting_;
};

}  // namespace tesmira::ui
