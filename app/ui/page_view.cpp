#include "app/ui/page_view.hpp"

#include <QGestureEvent>
#include <QNativeGestureEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPinchGesture>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace tesmira::ui {
namespace {

constexpr int PANE_GAP = 12;                 // view pixels between two panes
constexpr int SMALLEST_LEVEL = 64;           // pixels on the shorter side of the smallest halved copy
constexpr double WHEEL_STEP = 1.25;          // zoom factor of one notch of Ctrl+wheel
constexpr int LEVEL_CACHE_KIB = 512 * 1024;  // the images shown lately, with their halved copies
constexpr int MARK_MARGIN = 6;               // view pixels between a change and the frame around it
constexpr int LABEL_MARGIN = 8;              // view pixels between a pane's label and its edges

}  // namespace

const QList<double> PageView::ZOOM_STEPS{
    5, 10, 25, 33.3, 50, 66.7, 75, 100, 125, 150, 200, 300, 400, 600, 800, 1200, 1600};

PageView::PageView(QWidget* parent) : QAbstractScrollArea(parent) {
    levels_.setMaxCost(LEVEL_CACHE_KIB);
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    viewport()->grabGesture(Qt::PinchGesture);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

const QImage& PageView::level(const QImage& image, double devicePixelsPerImagePixel) const {
    QList<QImage>* levels = levels_.object(image.cacheKey());
    if (!levels) {
        levels = new QList<QImage>{image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                                           : image.convertToFormat(QImage::Format_RGB32)};
        const qint64 key = image.cacheKey();
        levels_.insert(key, levels, int(std::max<qint64>(1, levels->front().sizeInBytes() / 1024)));
        levels = levels_.object(key);
        if (!levels) return image;  // larger than the whole cache: drawn as it is
    }
    // The smallest copy at least as large as it is drawn: smooth scaling from it never drops
    // a thin line, which sampling a much larger image would.
    qsizetype index = 0;
    for (double reach = devicePixelsPerImagePixel; reach <= 0.5; reach *= 2) {
        if (index + 1 == levels->size()) {
            const QImage& last = levels->last();
            if (std::min(last.width(), last.height()) / 2 < SMALLEST_LEVEL) break;
            levels->append(
                last.scaled(last.width() / 2, last.height() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        }
        ++index;
    }
    return (*levels)[index];
}

void PageView::setPanes(QSize size, double dpi, QList<Pane> panes) {
    // The same page in another view (or two side by side) stays where the operator looked.
    const bool samePage = size == size_ && !panes_.isEmpty();
    const QPointF centre = centreOfView();
    size_ = size;
    dpi_ = dpi > 0 ? dpi : 72;
    panes_ = std::move(panes);
    if (!samePage && fit_ == Fit::None) fit_ = Fit::Page;
    if (fit_ != Fit::None) scale_ = fittedScale(fit_);
    updateScrollBars();
    if (samePage && fit_ == Fit::None) {
        horizontalScrollBar()->setValue(int(std::lround(centre.x() * scale_ - columnWidth() / 2.0)));
        verticalScrollBar()->setValue(int(std::lround(centre.y() * scale_ - viewport()->height() / 2.0)));
    }
    updateCursor();
    viewport()->update();
    emit zoomChanged();
}

void PageView::clearPanes() {
    panes_.clear();
    size_ = QSize();
    mark_.reset();
    updateScrollBars();
    updateCursor();
    viewport()->update();
}

double PageView::zoomPercent() const { return scale_ * dpi_ / double(logicalDpiX()) * 100; }

double PageView::scaleForPercent(double percent) const {
    const double limited = std::clamp(percent, ZOOM_STEPS.front(), ZOOM_STEPS.back());
    return limited / 100 * double(logicalDpiX()) / dpi_;
}

void PageView::setZoomPercent(double percent) {
    fit_ = Fit::None;
    zoomTo(scaleForPercent(percent), QPointF(column(0).center()));
}

void PageView::zoomIn() {
    const double now = zoomPercent();
    const auto next =
        std::find_if(ZOOM_STEPS.begin(), ZOOM_STEPS.end(), [&](double step) { return step > now * 1.001; });
    setZoomPercent(next == ZOOM_STEPS.end() ? ZOOM_STEPS.back() : *next);
}

void PageView::zoomOut() {
    const double now = zoomPercent();
    const auto next =
        std::find_if(ZOOM_STEPS.rbegin(), ZOOM_STEPS.rend(), [&](double step) { return step < now / 1.001; });
    setZoomPercent(next == ZOOM_STEPS.rend() ? ZOOM_STEPS.front() : *next);
}

void PageView::fitPage() {
    fit_ = Fit::Page;
    zoomTo(fittedScale(fit_), QPointF(column(0).center()));
}

void PageView::fitWidth() {
    fit_ = Fit::Width;
    const double top = pagePointAt(QPointF(column(0).center().x(), 0)).y();
    zoomTo(fittedScale(fit_), QPointF(column(0).center()));
    verticalScrollBar()->setValue(int(std::lround(top * scale_)));
}

double PageView::fittedScale(Fit fit) const {
    if (size_.isEmpty()) return scale_;
    const double across = double(columnWidth()) / size_.width();
    return fit == Fit::Width ? across : std::min(across, double(viewport()->height()) / size_.height());
}

void PageView::showArea(const QRect& area) {
    setMark(area);
    if (size_.isEmpty() || area.isEmpty()) return;
    const double third = std::min(columnWidth() / (3.0 * area.width()), viewport()->height() / (3.0 * area.height()));
    const double scale = std::max(std::min(third, scaleForPercent(AREA_PERCENT_LIMIT)), fittedScale(Fit::Page));
    fit_ = Fit::None;
    scale_ = scale;
    updateScrollBars();
    horizontalScrollBar()->setValue(int(std::lround(area.center().x() * scale_ - columnWidth() / 2.0)));
    verticalScrollBar()->setValue(int(std::lround(area.center().y() * scale_ - viewport()->height() / 2.0)));
    updateCursor();
    viewport()->update();
    emit zoomChanged();
}

void PageView::setMark(const std::optional<QRect>& area) {
    mark_ = area;
    viewport()->update();
}

void PageView::setPaneLabels(const QStringList& labels) {
    if (labels == labels_) return;
    labels_ = labels;
    viewport()->update();
}

void PageView::setChanges(const QList<QRect>& changes) {
    if (changes == changes_) return;
    changes_ = changes;
    viewport()->update();
}

QRect PageView::inView(const QRect& area, qsizetype pane) const {
    const QPointF origin = QPointF(column(pane).topLeft()) + pageOrigin();
    return QRectF(origin + QPointF(area.topLeft()) * scale_, QSizeF(area.size()) * scale_).toAlignedRect();
}

QFont PageView::labelFont() const {
    QFont font = this->font();
    font.setPixelSize(11);
    return font;
}

std::optional<QRect> PageView::paneLabelRect(qsizetype index) const {
    if (index < 0 || index >= labels_.size() || index >= panes_.size() || labels_[index].isEmpty()) return std::nullopt;
    const QFontMetrics metrics(labelFont());
    const QSize size(metrics.horizontalAdvance(labels_[index]) + 12, metrics.height() + 4);
    const QRect room = column(index).adjusted(LABEL_MARGIN, LABEL_MARGIN, -LABEL_MARGIN, -LABEL_MARGIN);
    const QRect corners[] = {QRect(room.topLeft(), size),
                             QRect(QPoint(room.right() - size.width() + 1, room.top()), size),
                             QRect(QPoint(room.left(), room.bottom() - size.height() + 1), size),
                             QRect(room.bottomRight() - QPoint(size.width() - 1, size.height() - 1), size)};
    const auto clear = [&](const QRect& corner, const QList<QRect>& areas) {
        return std::none_of(areas.begin(), areas.end(), [&](const QRect& area) {
            return corner.intersects(
                inView(area, index).adjusted(-MARK_MARGIN, -MARK_MARGIN, MARK_MARGIN, MARK_MARGIN));
        });
    };
    QList<QRect> everything = changes_;
    if (mark_) everything.append(*mark_);
    for (const QRect& corner : corners)
        if (clear(corner, everything)) return corner;
    const QList<QRect> marked = mark_ ? QList<QRect>{*mark_} : QList<QRect>{};
    for (const QRect& corner : corners)
        if (clear(corner, marked)) return corner;
    return std::nullopt;
}

int PageView::columnWidth() const {
    const int columns = int(std::max<qsizetype>(panes_.size(), 1));
    return std::max(1, (viewport()->width() - (columns - 1) * PANE_GAP) / columns);
}

QRect PageView::column(qsizetype index) const {
    return {int(index) * (columnWidth() + PANE_GAP), 0, columnWidth(), viewport()->height()};
}

QPointF PageView::pageOrigin() const {
    const double width = size_.width() * scale_, height = size_.height() * scale_;
    const double x = width < columnWidth() ? (columnWidth() - width) / 2 : -horizontalScrollBar()->value();
    const double y =
        height < viewport()->height() ? (viewport()->height() - height) / 2 : -verticalScrollBar()->value();
    return {x, y};
}

QPointF PageView::pagePointAt(QPointF viewportPoint) const {
    const int index = std::clamp(
        int(viewportPoint.x()) / (columnWidth() + PANE_GAP), 0, int(std::max<qsizetype>(panes_.size(), 1)) - 1);
    return (viewportPoint - QPointF(column(index).topLeft()) - pageOrigin()) / scale_;
}

QPointF PageView::centreOfView() const { return pagePointAt(QPointF(column(0).center())); }

void PageView::zoomTo(double scale, QPointF viewportAnchor) {
    const QPointF anchored = pagePointAt(viewportAnchor);
    const int index = std::clamp(
        int(viewportAnchor.x()) / (columnWidth() + PANE_GAP), 0, int(std::max<qsizetype>(panes_.size(), 1)) - 1);
    const QPointF inColumn = viewportAnchor - QPointF(column(index).topLeft());
    scale_ = std::clamp(scale, scaleForPercent(ZOOM_STEPS.front()), scaleForPercent(ZOOM_STEPS.back()));
    if (fit_ != Fit::None) scale_ = scale;  // a fit is exact, whatever the steps
    updateScrollBars();
    horizontalScrollBar()->setValue(int(std::lround(anchored.x() * scale_ - inColumn.x())));
    verticalScrollBar()->setValue(int(std::lround(anchored.y() * scale_ - inColumn.y())));
    updateCursor();
    viewport()->update();
    emit zoomChanged();
}

void PageView::updateScrollBars() {
    const int width = int(std::lround(size_.width() * scale_)), height = int(std::lround(size_.height() * scale_));
    horizontalScrollBar()->setRange(0, std::max(0, width - columnWidth()));
    horizontalScrollBar()->setPageStep(columnWidth());
    horizontalScrollBar()->setSingleStep(std::max(1, columnWidth() / 20));
    verticalScrollBar()->setRange(0, std::max(0, height - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(std::max(1, viewport()->height() / 20));
}

void PageView::updateCursor() {
    const bool pannable = horizontalScrollBar()->maximum() > 0 || verticalScrollBar()->maximum() > 0;
    if (dragFrom_)
        viewport()->setCursor(Qt::ClosedHandCursor);
    else if (pannable)
        viewport()->setCursor(Qt::OpenHandCursor);
    else
        viewport()->unsetCursor();
}

void PageView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    const QPointF centre = centreOfView();
    if (fit_ != Fit::None) scale_ = fittedScale(fit_);
    updateScrollBars();
    if (fit_ == Fit::None) {
        horizontalScrollBar()->setValue(int(std::lround(centre.x() * scale_ - columnWidth() / 2.0)));
        verticalScrollBar()->setValue(int(std::lround(centre.y() * scale_ - viewport()->height() / 2.0)));
    }
    updateCursor();
    if (fit_ != Fit::None) emit zoomChanged();
}

void PageView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    for (qsizetype i = 0; i < panes_.size(); ++i) paintPane(painter, panes_[i], column(i), event->rect());
    painter.setClipping(false);
    painter.setFont(labelFont());
    painter.setRenderHint(QPainter::Antialiasing);
    for (qsizetype i = 0; i < panes_.size(); ++i) {
        const std::optional<QRect> label = paneLabelRect(i);
        if (!label) continue;
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(40, 40, 40, 200));
        painter.drawRoundedRect(*label, 4, 4);
        painter.setPen(Qt::white);
        painter.drawText(*label, Qt::AlignCenter, labels_[i]);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (hasFocus()) {
        // Where the keys go: the arrows pan, Space flips the old and the new page.
        painter.setClipping(false);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(viewport()->rect().adjusted(1, 1, -1, -1));
    }
}

void PageView::paintPane(QPainter& painter, const Pane& pane, const QRect& column, const QRect& dirty) const {
    const QRect room = column & dirty;
    if (room.isEmpty()) return;
    painter.setClipRect(room);
    const QPointF origin = QPointF(column.topLeft()) + pageOrigin();
    const QRectF page(origin, QSizeF(size_) * scale_);
    painter.fillRect(page & QRectF(room), Qt::white);
    const double ratio = devicePixelRatioF();
    for (const Layer& layer : pane) {
        if (layer.image.isNull() || layer.target.isEmpty()) continue;
        const QRectF target(origin + QPointF(layer.target.topLeft()) * scale_, QSizeF(layer.target.size()) * scale_);
        const QRectF visible = target & QRectF(room);
        if (visible.isEmpty()) continue;
        const QImage& image = level(layer.image, target.width() * ratio / layer.image.width());
        const double across = image.width() / target.width(), down = image.height() / target.height();
        const QRectF source((visible.left() - target.left()) * across,
                            (visible.top() - target.top()) * down,
                            visible.width() * across,
                            visible.height() * down);
        // Smooth where the image is reduced; enlarged, each of its pixels stays a sharp square.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, image.width() > target.width() * ratio);
        painter.drawImage(visible, image, source);
    }
    if (mark_) {
        const QRectF marked(origin + QPointF(mark_->topLeft()) * scale_, QSizeF(mark_->size()) * scale_);
        QPen pen(palette().color(QPalette::Highlight), 2, Qt::DashLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(marked.adjusted(-MARK_MARGIN, -MARK_MARGIN, MARK_MARGIN, MARK_MARGIN));
    }
}

void PageView::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0 || size_.isEmpty()) return;
    fit_ = Fit::None;
    zoomTo(scale_ * std::pow(WHEEL_STEP, notches), event->position());
    event->accept();
}

void PageView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
    dragFrom_ = event->position().toPoint();
    dragScroll_ = {horizontalScrollBar()->value(), verticalScrollBar()->value()};
    updateCursor();
}

void PageView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragFrom_) return QAbstractScrollArea::mouseMoveEvent(event);
    const QPoint moved = event->position().toPoint() - *dragFrom_;
    horizontalScrollBar()->setValue(dragScroll_.x() - moved.x());
    verticalScrollBar()->setValue(dragScroll_.y() - moved.y());
}

void PageView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mouseReleaseEvent(event);
    dragFrom_.reset();
    updateCursor();
}

void PageView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || size_.isEmpty() || panes_.isEmpty()) return;
    // The image's own pixels, one to a screen pixel, where the page was clicked; or the whole page again.
    const Layer& largest = panes_.front().front();
    const double own = largest.image.isNull() ? 1 : largest.image.width() / double(largest.target.width());
    const double actual = own / devicePixelRatioF();
    if (scale_ < actual * 0.99) {
        fit_ = Fit::None;
        zoomTo(actual, event->position());
    } else {
        fitPage();
    }
}

bool PageView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::NativeGesture) {
        const auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture && !size_.isEmpty()) {
            fit_ = Fit::None;
            zoomTo(scale_ * (1 + gesture->value()), gesture->position());
            return true;
        }
    }
    if (event->type() == QEvent::Gesture) {
        auto* gestures = static_cast<QGestureEvent*>(event);
        if (auto* pinch = static_cast<QPinchGesture*>(gestures->gesture(Qt::PinchGesture))) {
            if ((pinch->changeFlags() & QPinchGesture::ScaleFactorChanged) && !size_.isEmpty()) {
                fit_ = Fit::None;
                zoomTo(scale_ * pinch->scaleFactor(), viewport()->mapFromGlobal(pinch->centerPoint()));
            }
            gestures->accept(pinch);
            return true;
        }
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void PageView::scrollContentsBy(int, int) { viewport()->update(); }

void PageView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void PageView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

}  // namespace tesmira::ui
