#pragma once
// A page shown as images, zoomed and panned as in a desktop PDF viewer: Ctrl+wheel and pinch
// zoom around the pointer, the wheel, the scroll bars and a drag of the page pan, a double click
// goes from the whole page to the image's own pixels and back. It shows one pane of the page,
// or two side by side that keep the same zoom and position. Drawn from each image's own pixels
// and from halved copies of it, so that a zoom step costs only the part in view: below the
// image's resolution the page is drawn smoothly at the zoom's resolution, above it each image
// pixel is drawn as a sharp square.

#include <QAbstractScrollArea>
#include <QCache>
#include <QImage>
#include <QList>
#include <QRect>
#include <QStringList>

#include <optional>

namespace tesmira::ui {

class PageView : public QAbstractScrollArea {
    Q_OBJECT

public:
    // A piece of a pane: `image` drawn into `target`, in pixels of the page.
    struct Layer {
        QImage image;
        QRect target;
    };
    using Pane = QList<Layer>;

    enum class Fit { None, Page, Width };

    // The zoom steps of zoomIn() and zoomOut(), in percent; the zoom stays within the first and
    // the last.
    static const QList<double> ZOOM_STEPS;
    // A change is shown at most this large.
    static constexpr double AREA_PERCENT_LIMIT = 800;

    explicit PageView(QWidget* parent = nullptr);

    // Shows `panes` side by side (one or two) of a page `size` pixels at `dpi`. A page of the size
    // already shown keeps the zoom and the position; another is fitted as the last fit asked.
    void setPanes(QSize size, double dpi, QList<Pane> panes);
    void clearPanes();
    QSize pageSize() const { return size_; }
    qsizetype paneCount() const { return panes_.size(); }

    // The zoom in percent of the page's printed size on this screen.
    double zoomPercent() const;
    void setZoomPercent(double percent);  // around the middle of the view
    void zoomIn();
    void zoomOut();
    void fitPage();
    void fitWidth();
    Fit fit() const { return fit_; }

    // Centres `area` (pixels of the page) in view, zoomed so that it fills about a third of the
    // view and never beyond AREA_PERCENT_LIMIT, nor below the whole page; marks it.
    void showArea(const QRect& area);
    // A frame around `area` in every pane, until another is set; none without.
    void setMark(const std::optional<QRect>& area);
    const std::optional<QRect>& mark() const { return mark_; }

    // A small label in a corner of each pane that says what it shows. The corner is the first of
    // top left, top right, bottom left and bottom right over none of `changes` (pixels of the
    // page) as they are in view; else the first over none but the mark. Over the mark it is not
    // drawn.
    void setPaneLabels(const QStringList& labels);
    const QStringList& paneLabels() const { return labels_; }
    void setChanges(const QList<QRect>& changes);
    // Where the label of pane `index` is drawn in the viewport; none when it is not.
    std::optional<QRect> paneLabelRect(qsizetype index) const;

    // The page point (pixels of the page) drawn at `viewportPoint`, and the one at the middle of
    // the first pane's view.
    QPointF pagePointAt(QPointF viewportPoint) const;
    QPointF centreOfView() const;

signals:
    void zoomChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // The copy of `image` to draw at `devicePixelsPerImagePixel`: the image itself or one of its
    // halved copies, made as the zoom first needs them and kept for the images shown lately.
    const QImage& level(const QImage& image, double devicePixelsPerImagePixel) const;

    double scaleForPercent(double percent) const;
    double fittedScale(Fit fit) const;
    int columnWidth() const;
    QRect column(qsizetype index) const;
    QPointF pageOrigin() const;  // where the page's top left is drawn in a column
    void zoomTo(double scale, QPointF viewportAnchor);
    void updateScrollBars();
    void updateCursor();
    void paintPane(QPainter& painter, const Pane& pane, const QRect& column, const QRect& dirty) const;
    QRect inView(const QRect& area, qsizetype pane) const;  // page pixels to the viewport
    QFont labelFont() const;

    QSize size_;
    double dpi_ = 72;
    QList<Pane> panes_;
    mutable QCache<qint64, QList<QImage>> levels_;  // by the image's cache key; the cost in KiB
    double scale_ = 1;                              // view pixels per page pixel
    Fit fit_ = Fit::Page;
    std::optional<QRect> mark_;
    QStringList labels_;
    QList<QRect> changes_;
    std::optional<QPoint> dragFrom_;
    QPoint dragScroll_;
};

}  // namespace tesmira::ui
