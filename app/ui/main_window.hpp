#pragma once
// The main window: it owns the application's one proof model, shows it, and turns every
// action of the operator into a call on it.

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

#include "app/model/change_stops.hpp"
#include "app/model/proof_model.hpp"
#include "app/ui/result_preview.hpp"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace tesmira::ui {

class LineLimitedLabel;
class PdfDropCard;
class SettingsWindow;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Builds the window with its menus, lists the archive projects and shows the model; the
    // caller shows the window.
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    app::ProofModel& model() { return model_; }

    // Projects the whole model onto the window. Every change of the model brings one, on a
    // later turn of the event loop.
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
    QWidget* createInputs();
    void createProjectControls();
    QWidget* createActions();
    QWidget* createResults();
    QWidget* createNavigation();
    QWidget* createViewBar();
    QWidget* createViewSegments();
    void createZoomControls();
    void createPageList();
    void createMenus();
    void createRunMenu();
    void createViewMenu();
    // A preview action of the view menu, named `name`, with its shortcuts.
    QAction* addPreviewAction(QMenu* menu, const char* name, const QString& text, const QList<QKeySequence>& keys,
                              const std::function<void()>& slot);
    void addZoomActions(QMenu* menu);
    void addShowingActions(QMenu* menu);
    void addStepActions(QMenu* menu);
    void setTabOrderAcrossTheWindow();

    bool mayClose();
    void createProject();
    void openArchiveFolder();
    void showPrevious();
    void showNext();
    void modeChanged();
    void projectChanged();
    void showPreviewPage(const app::ProofPage& page);
    // The parts of refresh(), in its order.
    void refreshInputs();
    void refreshActions();
    void refreshStatus();
    void refreshResults();
    void showEmptyPreview();
    void replaceSettingsWindow();

    // The result pages and their changes (main_window_views.cpp).
    void refreshPageList(bool rebuilt);
    void refreshViews(const app::ProofPage& page);
    void refreshChangeSteps();
    void refreshZoom();
    void showView(ResultPreview::Showing showing);
    void flipOldAndNew();
    void stepChange(int direction);
    std::optional<qsizetype> changeStep(int direction) const;
    void applyZoomText();
    void tellRunEnded();

    app::ProofModel model_;
    std::unique_ptr<SettingsWindow> settingsWindow_;

    PdfDropCard* beforeCard_;
    QWidget* beforeCardSlot_;
    PdfDropCard* afterCard_;
    QComboBox* modeCombo_;
    QComboBox* projectCombo_;
    QLineEdit* projectNameEdit_;
    QPushButton* createProjectButton_;
    QPushButton* openArchiveButton_;
    QLabel* projectHintLabel_;
    QLabel* settingsSummaryLabel_;
    QPushButton* startButton_;
    QPushButton* baselineButton_;
    QPushButton* resetButton_;
    QPushButton* cancelButton_;
    QProgressBar* progressBar_;
    LineLimitedLabel* statusLabel_;
    QPushButton* previousButton_;
    QPushButton* nextButton_;
    QCheckBox* strictCheck_;
    LineLimitedLabel* resultTitleLabel_;
    ResultPreview* preview_;
    QLabel* emptyPreviewLabel_;
    QListWidget* pageList_;
    QButtonGroup* viewButtons_;
    QToolButton* previousChangeButton_;
    QToolButton* nextChangeButton_;
    QToolButton* zoomOutButton_;
    QComboBox* zoomCombo_;
    QToolButton* zoomInButton_;
    QLabel* viewStatusLabel_;
    QList<QAction*> previewActions_;  // the view menu's items that need a page shown

    // The window's own state: the result shown, the page loaded into the preview, and the
    // signatures that spare the result selection and the project list needless resets.
    int selected_ = 0;
    QString previewKey_;
    QString resultSignature_;
    QString projectSignature_;
    bool asking_ = false;  // the quit question is on screen
    bool wasRunning_ = false;
    // The changes of the results in stepping order, and the one last stepped to (none when the
    // operator has gone to a page by other means).
    QList<app::ChangeStop> changes_;
    std::optional<qsizetype> currentChange_;
};

// "てすみら v" + version + "（architecture）".
QString mainWindowTitle();

// The window's content size on a screen whose free area is `available`: at most
// 1080 × 740, 32 and 64 pixels smaller than the screen.
QSize contentSize(QSize available);

}  // namespace tesmira::ui
