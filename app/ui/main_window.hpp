#pragma once
// The main window: it owns the application's one proof model and shows it in two parts, the
// inputs on the left and the results on the right, under the header and the menus. Every
// change of the model reaches one refresh of the whole window.

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

#include "app/model/proof_model.hpp"

namespace tesmira::ui {

class InputsPanel;
class ResultsPane;
class SettingsWindow;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Builds the window with its menus, lists the archive projects and shows the model; the
    // caller shows the window.
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    app::ProofModel& model() { return model_; }

    // Projects the whole model onto the window, every action's enabled state included. Every
    // change of the model brings one, on a later turn of the event loop.
    void refresh();

    // Opens the one settings window, creating it when there is none.
    void showSettings();

    // Asks whether to stop the run and quit; true for "中止して終了". Tests, which cannot
    // answer a modal dialog, replace it.
    std::function<bool()> askToStopRun;

protected:
    // The one place that decides about quitting, for the menu, the shortcut and the close
    // button: while a run is going it asks first, and stopping sends the worker SIGTERM.
    // The application ends when this window has closed.
    void closeEvent(QCloseEvent* event) override;

private:
    void connectModelToDesktop();
    QWidget* createHeader();
    QWidget* createManualRow();
    QWidget* createBody();
    void createMenus();
    void setTabOrderAcrossTheWindow();

    bool mayClose();
    void replaceSettingsWindow();
    void runEnded();

    app::ProofModel model_;
    std::unique_ptr<SettingsWindow> settingsWindow_;
    QWidget* settingsButton_;
    QWidget* manualButton_;
    InputsPanel* inputs_;
    ResultsPane* results_;
    bool asking_ = false;  // the quit question is on screen
    bool wasRunning_ = false;
};

// "てすみら v" + version + "（architecture）".
QString mainWindowTitle();

// The window's content size on a screen whose free area is `available`: at most
// 1080 × 740, 32 and 64 pixels smaller than the screen.
QSize contentSize(QSize available);

}  // namespace tesmira::ui
