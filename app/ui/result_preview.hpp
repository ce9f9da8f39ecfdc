#pragma once
// The preview of one result page and of the two pages it compares: the page of the result PDF
// drawn at the run's resolution, and the old and the new page (images the helper drew from the
// compared PDFs) instead of it or side by side, all at one zoom and position. The old and new
// pages sit below the result's information band, as they were compared; the band stays above.
// Each pane is labelled with what it shows: "結果", "変更前" or "変更後".

#include <QCache>
#include <QImage>
#include <QString>

#include <memory>

#include "app/ui/page_view.hpp"

class QPdfDocument;

namespace tesmira::ui {

class ResultPreview : public PageView {
    Q_OBJECT

public:
    enum class Showing { Result, Before, After, SideBySide };

    explicit ResultPreview(QWidget* parent = nullptr);
    ~ResultPreview() override;

    // Opens the result PDF `path` and shows its page `page` (from 0; its first page when it has
    // no such page), drawn at `dpi`. A file that cannot be opened shows nothing. Returns whether
    // a page is shown.
    bool showResult(const QString& path, int page, qint64 dpi);
    // Shows nothing and closes the result PDF.
    void clear();
    const QPdfDocument* document() const { return document_.get(); }
    int currentPage() const { return page_; }

    // The old and the new page of the page shown, as image files; none when empty. Until both
    // are there, every view shows the result.
    void setViews(const QString& before, const QString& after);
    bool hasViews() const { return !before_.isNull() && !after_.isNull(); }

    void setShowing(Showing showing);
    Showing showing() const { return showing_; }

private:
    QImage resultImage();
    QImage cachedImage(const QString& key, const std::function<QImage()>& make);
    void rebuild();

    std::unique_ptr<QPdfDocument> document_;
    QString path_;
    int page_ = -1;
    qint64 dpi_ = 0;
    QSize pageSize_;  // the result page in pixels at dpi_
    QImage result_, before_, after_;
    Showing showing_ = Showing::Result;
    QCache<QString, QImage> images_;  // drawn pages, by what they show; the cost in KiB
};

}  // namespace tesmira::ui
