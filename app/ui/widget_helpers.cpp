#include "app/ui/widget_helpers.hpp"

#include <QBoxLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QToolButton>

namespace tesmira::ui {

QSize ColumnWidget::sizeHint() const { return fitted(QWidget::sizeHint()); }

QSize ColumnWidget::minimumSizeHint() const { return fitted(QWidget::minimumSizeHint()); }

void ColumnWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (event->size().width() != event->oldSize().width()) updateGeometry();
}

QSize ColumnWidget::fitted(QSize size) const {
    const int width = this->width() > 0 ? this->width() : std::min(maximumWidth(), size.width());
    if (layout() && layout()->hasHeightForWidth()) size.setHeight(layout()->totalHeightForWidth(width));
    return size;
}

QHBoxLayout* makeRow(QWidget* host, std::initializer_list<QWidget*> widgets) {
    auto* row = new QHBoxLayout(host);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    for (QWidget* widget : widgets) row->addWidget(widget, 0, Qt::AlignVCenter);
    return row;
}

QVBoxLayout* makeColumn(ColumnWidget* host, std::initializer_list<QWidget*> widgets) {
    auto* column = new QVBoxLayout(host);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    for (QWidget* widget : widgets) {
        if (qobject_cast<QLabel*>(widget) || qobject_cast<QLineEdit*>(widget))
            column->addWidget(widget);  // as wide as the column
        else
            column->addWidget(widget, 0, Qt::AlignLeft);
    }
    return column;
}

void placeWithPadding(QWidget* container, QWidget* content, int padding) {
    auto* layout = new QVBoxLayout(container);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(0);
    layout->addWidget(content);
}

QSizePolicy wrappingPolicy() {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    return policy;
}

QLabel* wrappingLabel(const QString& text, int size) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setPixelSize(size);
    label->setFont(font);
    label->setSizePolicy(wrappingPolicy());
    return label;
}

void centreOnScreen(QWidget* window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - QPoint(window->width() / 2, window->height() / 2));
}

QPushButton* namedButton(const QString& name, const QString& title) { return named(name, new QPushButton(title)); }

QToolButton* namedToolButton(const QString& name, const QString& text, const QString& accessibleName) {
    auto* button = named(name, new QToolButton);
    button->setText(text);
    button->setAccessibleName(accessibleName);
    button->setFocusPolicy(Qt::TabFocus);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

QWidget* spacer() {
    auto* space = new QWidget;
    space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return space;
}

QString withShortcuts(const QString& text, const QList<QKeySequence>& keys) {
    QStringList names;
    for (const QKeySequence& key : keys) names.append(key.toString(QKeySequence::NativeText));
    return names.isEmpty() ? text
                           : text + QStringLiteral("（") + names.join(QStringLiteral("、")) + QStringLiteral("）");
}

}  // namespace tesmira::ui
