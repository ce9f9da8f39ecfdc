#pragma once
// The zoom of a page view: smaller, the percentage (chosen, typed, or a fit), larger; and the
// view menu's zoom actions with their keys.

#include <QList>
#include <QWidget>

class QAction;
class QComboBox;
class QToolButton;

namespace tesmira::ui {

class PageView;

class ZoomControls : public QWidget {
    Q_OBJECT

public:
    explicit ZoomControls(PageView& view, QWidget* parent = nullptr);

    // In, out, actual size, whole page, page width.
    const QList<QAction*>& zoomActions() const { return actions_; }

    // Shows the view's zoom; everything is enabled while the view shows a page.
    void refresh();

    QList<QWidget*> tabChain() const;

private:
    void createActions();
    void applyTypedZoom();

    PageView& view_;
    QToolButton* zoomOutButton_;
    QComboBox* zoomCombo_;
    QToolButton* zoomInButton_;
    QList<QAction*> actions_;
};

}  // namespace tesmira::ui
