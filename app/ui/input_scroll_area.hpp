#pragma once
// The scroll area of the main window's input column.

#include <QScrollArea>

namespace tesmira::ui {

// As tall as its content where the window allows, shrinking to 80 pixels where it does not;
// the content then scrolls. Its width is fixed.
class InputScrollArea : public QScrollArea {
    Q_OBJECT

public:
    explicit InputScrollArea(int width, QWidget* parent = nullptr);
    void setContent(QWidget* content);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int width_;
};

}  // namespace tesmira::ui
