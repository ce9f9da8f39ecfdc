#pragma once
// What the window tests share: a delegate with its window built but not shown, a fake
// worker, and drags of file URLs.

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

#include "app/ui/delegate.hpp"
#include "model_test_support.hpp"

namespace tesmira::app::testing {

// Runs what the model's changes have queued for the window.
inline void settleWindow() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// Sends a drag of `urls` into `target` and, when it was taken, drops it; returns whether the
// drag was taken and whether the drop was.
inline std::pair<bool, bool> dragAndDrop(QWidget* target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return {false, false};
    QDropEvent drop(QPointF(at), enter.dropAction(), &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return {true, drop.isAccepted()};
}

}  // namespace tesmira::app::testing
