#include "app/ui/input_scroll_area.hpp"

#include <QEvent>

namespace tesmira::ui {

InputScrollArea::InputScrollArea(int width, QWidget* parent) : QScrollArea(parent), width_(width) {}

void InputScrollArea::setContent(QWidget* content) {
    setWidget(content);
    content->installEventFilter(this);
}

// The content's height is known only once it has its width: ask the layout again then.
bool InputScrollArea::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget() && (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Resize))
        updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}

QSize InputScrollArea::sizeHint() const {
    return {width_, (widget() ? widget()->sizeHint().height() : 0) + 2 * frameWidth()};
}

QSize InputScrollArea::minimumSizeHint() const { return {width_, 80}; }

}  // namespace tesmira::ui
