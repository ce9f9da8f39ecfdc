#pragma once
// A wrapping label that keeps to a number of lines, for texts of any length.

#include <QLabel>

namespace tesmira::ui {

// Shows at most `lines` lines of its text and cuts the rest with "…". Assistive technology
// reads the whole text; the tool tip is left to the caller.
class LineLimitedLabel : public QLabel {
    Q_OBJECT

public:
    explicit LineLimitedLabel(int lines, int size = 13, QWidget* parent = nullptr);
    void setFullText(const QString& text);
    const QString& fullText() const { return text_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QString elided(int width) const;
    QString text_;
    int lines_;
};

}  // namespace tesmira::ui
