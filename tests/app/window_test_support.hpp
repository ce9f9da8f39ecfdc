#pragma once
// What the window tests share: a main window in a private home folder with the fake worker,
// its widgets found by name, choices in its pop-ups, and drags of file URLs.

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPdfDocument>
#include "app/ui/result_preview.hpp"

#include <memory>

#include "app/ui/main_window.hpp"
#include "app/ui/settings_window.hpp"
#include "model_test_support.hpp"

namespace tesmira::app::testing {

// The widget of type T called `name` inside `parent`. A test that names a widget the window
// does not have is wrong as a whole, so the program stops.
template <typename T>
T* child(const QObject& parent, const QString& name) {
    T* found = parent.findChild<T*>(name);
    if (!found) qFatal("no %s called \"%s\"", T::staticMetaObject.className(), qPrintable(name));
    return found;
}

// What assistive technology reads as the widget's name.
inline QString accessibleName(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

// Toggles a button or a box as assistive technology does, through its accessible action.
inline void toggleAccessibly(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(face && face->actionInterface());
    QVERIFY(face->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    face->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
}

// Runs what the model's changes have queued for the window.
inline void settleWindow() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// Chooses an item of a pop-up, as the operator does (the pop-up reports it as activated).
inline void choose(QComboBox* popUp, int index) {
    popUp->setCurrentIndex(index);
    emit popUp->activated(index);
}

// The menu item `text` of the window's menu bar, none when there is no such item.
inline QAction* menuAction(const QMainWindow& window, const QString& text) {
    for (QAction* menu : window.menuBar()->actions())
        for (QAction* action : menu->menu()->actions())
            if (action->text() == text) return action;
    return nullptr;
}

// The settings windows that exist, shown or closed.
inline QList<ui::SettingsWindow*> settingsWindows() {
    QList<ui::SettingsWindow*> windows;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* settings = qobject_cast<ui::SettingsWindow*>(window)) windows.append(settings);
    return windows;
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

// A main window, built but not shown, in a private home folder, with the fake worker, and a
// quit question that is counted and answered with `answer`.
struct WindowFixture {
    TestHome home;  // before the window, whose settings are read from it
    std::unique_ptr<ui::MainWindow> window = std::make_unique<ui::MainWindow>();
    int questions = 0;
    bool answer = false;

    WindowFixture() {
        window->model().workerProgram = TESMIRA_FAKE_WORKER;
        window->askToStopRun = [this] {
            ++questions;
            return answer;
        };
    }
    // A run that a test left going is stopped and waited for, so that no worker outlives it.
    ~WindowFixture() {
        if (!window || !window->model().running()) return;
        window->model().cancel();
        if (!settles(window->model())) qWarning("a worker did not stop after SIGTERM");
    }
    WindowFixture(const WindowFixture&) = delete;
    WindowFixture& operator=(const WindowFixture&) = delete;
    ProofModel& model() { return window->model(); }
    template <typename T = QWidget>
    T* find(const QString& name) const {
        return child<T>(*window, name);
    }
    // A fake run that reports its start and then waits for SIGTERM.
    void startWaitingRun() {
        writeScript(home, script({out(line(R"({"event": "start", "total": 2})")), waitForTerm()}));
        model().select(fileUrls({"/o/a.pdf"}), true);
        model().select(fileUrls({"/n/a.pdf"}), false);
        model().start();
    }
};

}  // namespace tesmira::app::testing
