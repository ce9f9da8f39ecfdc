#pragma once
// What the windows share, so that they have one spacing and alignment everywhere: rows and
// columns of widgets, wrapping labels, a widget padded inside another, and a centred window.

#include <QKeySequence>
#include <QList>
#include <QSizePolicy>
#include <QWidget>

#include <initializer_list>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace tesmira::ui {

// A column whose wrapped labels count with the height they wrap to at the column's width.
// To the layout around it, it is simply as tall as that; its width is set from outside.
class ColumnWidget : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return false; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QSize fitted(QSize size) const;
};

// Lays `widgets` out in `host` from left to right, centred vertically, 10 pixels apart and
// without margins. Returns the row's layout.
QHBoxLayout* makeRow(QWidget* host, std::initializer_list<QWidget*> widgets);

// Lays `widgets` out in `host` from top to bottom at the left edge, 10 pixels apart and
// without margins: labels and text fields as wide as the column, so that they wrap there,
// everything else at most as wide. Returns the column's layout.
QVBoxLayout* makeColumn(ColumnWidget* host, std::initializer_list<QWidget*> widgets);

// Puts `content` into `container`, `padding` pixels from every edge.
void placeWithPadding(QWidget* container, QWidget* content, int padding = 16);

// The size policy of a label that wraps: its height depends on its width. (A label's own policy
// says so once it wraps, until a policy is set on it.)
QSizePolicy wrappingPolicy();

// A label in the system font at `size` pixels that wraps its plain text at its width.
QLabel* wrappingLabel(const QString& text, int size = 13);

// Places a window in the middle of the primary screen's free area.
void centreOnScreen(QWidget* window);

// `widget`, called `name` (its objectName, by which tests find it).
template <typename Widget>
Widget* named(const QString& name, Widget* widget) {
    widget->setObjectName(name);
    return widget;
}

// A push button called `name`, titled `title`.
QPushButton* namedButton(const QString& name, const QString& title);

// A tool button called `name`, reading `text`, known to assistive technology as `accessibleName`.
// A click does not take the focus, so that the keys stay with the preview; Tab reaches it.
QToolButton* namedToolButton(const QString& name, const QString& text, const QString& accessibleName);

// An empty widget that takes the free width of a row.
QWidget* spacer();

// `text` followed by its shortcuts as the platform writes them, for a tool tip: "次の変更（N、F3）".
QString withShortcuts(const QString& text, const QList<QKeySequence>& keys);

}  // namespace tesmira::ui
