#include "app/ui/result_preview.hpp"

#include <QPainter>
#include <QPdfDocument>

#include <cmath>

namespace tesmira::ui {
namespace {

// A result page is drawn at most this large; a larger one is drawn at a lower resolution.
constexpr qint64 MAX_DRAWN_PIXELS = 60'000'000;
// What the drawn pages kept for going back to them may take, in KiB.
constexpr int IMAGE_CACHE_KIB = 768 * 1024;

int costOf(const QImage& image) { return int(std::max<qint64>(1, image.sizeInBytes() / 1024)); }

}  // namespace

ResultPreview::ResultPreview(QWidget* parent) : PageView(parent) { images_.setMaxCost(IMAGE_CACHE_KIB); }

ResultPreview::~ResultPreview() = default;

bool ResultPreview::showResult(const QString& path, int page, qint64 dpi) {
    path_ = path;
    auto loaded = std::make_unique<QPdfDocument>();
    document_ = loaded->load(path) == QPdfDocument::Error::None ? std::move(loaded) : nullptr;
    dpi_ = dpi > 0 ? dpi : 72;
    before_ = after_ = QImage();
    if (!document_ || document_->pageCount() < 1) {
        page_ = -1;
        result_ = QImage();
        pageSize_ = QSize();
        clearPanes();
        return false;
    }
    // A page the document does not have: its first page, as a PDF viewer opens it.
    page_ = page >= 0 && page < document_->pageCount() ? page : 0;
    const QSizeF points = document_->pagePointSize(page_);
    pageSize_ = QSize(int(std::lround(points.width() * dpi_ / 72.0)), int(std::lround(points.height() * dpi_ / 72.0)));
    result_ = resultImage();
    rebuild();
    return !result_.isNull();
}

void ResultPreview::clear() {
    document_.reset();
    path_.clear();
    page_ = -1;
    result_ = before_ = after_ = QImage();
    pageSize_ = QSize();
    clearPanes();
}

QImage ResultPreview::cachedImage(const QString& key, const std::function<QImage()>& make) {
    if (const QImage* kept = images_.object(key)) return *kept;
    QImage image = make();
    if (!image.isNull()) images_.insert(key, new QImage(image), costOf(image));
    return image;
}

// The result page at the run's resolution (or lower for a huge page), on white: the PDF's page
// has no background of its own.
QImage ResultPreview::resultImage() {
    const QString key = path_ + QLatin1Char('#') + QString::number(page_) + QLatin1Char('@') + QString::number(dpi_);
    return cachedImage(key, [this] {
        QSize size = pageSize_;
        const qint64 pixels = qint64(size.width()) * size.height();
        if (pixels > MAX_DRAWN_PIXELS) size = size * std::sqrt(double(MAX_DRAWN_PIXELS) / double(pixels));
        if (size.isEmpty()) return QImage();
        const QImage drawn = document_->render(page_, size);
        QImage page(drawn.size(), QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter painter(&page);
        painter.drawImage(0, 0, drawn);
        return page;
    });
}

void ResultPreview::setViews(const QString& before, const QString& after) {
    const auto load = [this](const QString& file) {
        return file.isEmpty() ? QImage() : cachedImage(file, [&] { return QImage(file); });
    };
    const QImage old = load(before), now = load(after);
    const bool changed = old.cacheKey() != before_.cacheKey() || now.cacheKey() != after_.cacheKey();
    before_ = old;
    after_ = now;
    if (changed && showing_ != Showing::Result) rebuild();
}

void ResultPreview::setShowing(Showing showing) {
    if (showing == showing_) return;
    showing_ = showing;
    rebuild();
}

void ResultPreview::rebuild() {
    if (result_.isNull()) return;
    const Pane result{{result_, QRect(QPoint(), pageSize_)}};
    if (showing_ == Showing::Result || !hasViews()) {
        setPanes(pageSize_, double(dpi_), {result});
        setPaneLabels({QStringLiteral("結果")});
        return;
    }
    // A compared page is the result's canvas: below the band, which it takes from the result.
    const auto compared = [&](const QImage& canvas) {
        const int band = std::max(0, pageSize_.height() - canvas.height());
        Pane pane;
        if (band > 0) {
            const int rows = int(std::lround(double(band) * result_.height() / pageSize_.height()));
            pane.append({result_.copy(0, 0, result_.width(), std::max(rows, 1)), QRect(0, 0, pageSize_.width(), band)});
        }
        pane.append({canvas, QRect(QPoint(0, band), canvas.size())});
        return pane;
    };
    const QString old = QStringLiteral("変更前"), now = QStringLiteral("変更後");
    if (showing_ == Showing::SideBySide) {
        setPanes(pageSize_, double(dpi_), {compared(before_), compared(after_)});
        setPaneLabels({old, now});
    } else {
        setPanes(pageSize_, double(dpi_), {compared(showing_ == Showing::Before ? before_ : after_)});
        setPaneLabels({showing_ == Showing::Before ? old : now});
    }
}

}  // namespace tesmira::ui
