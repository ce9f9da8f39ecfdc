#include "app/ui/change_crops.hpp"

#include <QGuiApplication>
#include <QPainter>
#include <QPromise>

#include <cmath>

#include "app/model/proof_model.hpp"

namespace tesmira::ui {
namespace {

// How much of the page around a change a crop shows on each side, at least.
constexpr double CONTEXT_MM = 2.5;

// `box` with `context` pixels around it, widened or heightened to the shape of `size`.
QRect around(const QRect& box, int context, QSize size) {
    QRect area = box.adjusted(-context, -context, context, context);
    const double shape = double(size.width()) / size.height();
    if (area.width() < area.height() * shape) {
        const int width = int(std::lround(area.height() * shape));
        area.adjust(-(width - area.width()) / 2, 0, (width - area.width() + 1) / 2, 0);
    } else {
        const int height = int(std::lround(area.width() / shape));
        area.adjust(0, -(height - area.height()) / 2, 0, (height - area.height() + 1) / 2);
    }
    return area;
}

// The part `area` of `page` (white beyond its edges), `pixels` large: reduced smoothly, and
// enlarged with each page pixel a sharp square.
QImage pieceOf(const QImage& page, const QRect& area, QSize pixels, double ratio) {
    QImage piece(area.size(), QImage::Format_RGB32);
    piece.fill(Qt::white);
    {
        QPainter painter(&piece);
        painter.drawImage(QPoint(), page, area);
    }
    const Qt::TransformationMode mode =
        area.width() > pixels.width() ? Qt::SmoothTransformation : Qt::FastTransformation;
    QImage scaled = piece.scaled(pixels, Qt::KeepAspectRatio, mode);
    scaled.setDevicePixelRatio(ratio);
    return scaled;
}

}  // namespace

ChangeCrops::ChangeCrops(app::ProofModel& model, QObject* parent) : QObject(parent), model_(model) {
    pool_.setMaxThreadCount(2);
    // The helper's drawing would slow down the drawing of the result page shown first.
    firstPageFirst_.setSingleShot(true);
    firstPageFirst_.setInterval(1000);
    connect(&firstPageFirst_, &QTimer::timeout, this, &ChangeCrops::cut);
    connect(&model_.changes(), &QAbstractItemModel::modelReset, this, &ChangeCrops::forget);
    // Views drawn for a page may let its crops be cut: the list asks again.
    connect(&model_.views(), &app::ComparedViews::drawn, this, &ChangeCrops::cut);
}

ChangeCrops::~ChangeCrops() = default;

ChangeCrops::Crops ChangeCrops::crops(qsizetype row) {
    if (const auto known = crops_.constFind(row); known != crops_.cend()) return *known;
    const app::ChangeList& list = model_.changes();
    if (row < 0 || row >= list.rowCount()) return {Crops::State::Missing, {}, {}};
    if (firstPageFirst_.isActive()) return {};
    const qsizetype result = list.stop(row).result;
    if (cutting_.count(result)) return {};
    using State = app::ComparedViews::State;
    const app::ComparedViews::Views views =
        model_.views().views(list.page(row), model_.resultResolution(), app::ComparedViews::Need::Later);
    if (views.state == State::Drawing) return {};
    if (views.state != State::Ready) return crops_[row] = {Crops::State::Missing, {}, {}};
    startCutting(result, views.before, views.after);
    return {};
}

// Every change of one result page, cut from its two views on a thread of the pool. The job holds
// copies of what it needs, so it may outlive the results it was for.
void ChangeCrops::startCutting(qsizetype result, const QString& before, const QString& after) {
    const app::ChangeList& list = model_.changes();
    QList<qsizetype> rows;
    QList<QRect> boxes;
    for (qsizetype row = 0; row < list.rowCount(); ++row) {
        if (list.stop(row).result != result) continue;
        rows.append(row);
        // The views are the result's canvas below its band.
        boxes.append(list.stop(row).change.box.translated(0, -int(list.page(row).headerHeight)));
    }
    const int context = int(std::lround(CONTEXT_MM / 25.4 * double(std::max<qint64>(model_.resultResolution(), 1))));
    const double ratio = qGuiApp->devicePixelRatio();
    const QSize pixels = SIZE * ratio;

    auto promise = std::make_shared<QPromise<PageCrops>>();
    auto& watcher = cutting_[result];
    watcher = std::make_unique<QFutureWatcher<PageCrops>>();
    connect(watcher.get(), &QFutureWatcherBase::finished, this, [this, result] { finishCutting(result); });
    watcher->setFuture(promise->future());
    pool_.start([=] {
        promise->start();
        const QImage old(before), now(after);
        PageCrops page{rows, {}};
        for (const QRect& box : boxes) {
            const QRect area = around(box, context, SIZE);
            page.crops.append(
                old.isNull() || now.isNull()
                    ? Crops{Crops::State::Missing, {}, {}}
                    : Crops{Crops::State::Ready, pieceOf(old, area, pixels, ratio), pieceOf(now, area, pixels, ratio)});
        }
        promise->addResult(std::move(page));
        promise->finish();
    });
}

void ChangeCrops::finishCutting(qsizetype result) {
    const auto found = cutting_.find(result);
    if (found == cutting_.end()) return;
    // Handed on rather than destroyed here: this runs inside the watcher's own signal.
    QFutureWatcher<PageCrops>* watcher = found->second.release();
    cutting_.erase(found);
    watcher->deleteLater();
    if (watcher->future().resultCount() == 0) return;
    const PageCrops page = watcher->future().result();
    for (qsizetype i = 0; i < page.rows.size(); ++i) crops_.insert(page.rows[i], page.crops[i]);
    emit cut();
}

// The results changed: what was cut, and what is being cut, belongs to the last ones.
void ChangeCrops::forget() {
    firstPageFirst_.start();
    crops_.clear();
    for (auto& [result, watcher] : cutting_) {
        watcher->disconnect(this);
        watcher.release()->deleteLater();
    }
    cutting_.clear();
}

}  // namespace tesmira::ui
