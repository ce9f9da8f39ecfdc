#pragma once
// The application's delegate: it owns the one proof model and every control of the main
// window, builds the window, projects the model onto it after every change, and asks before
// the application quits during a run.

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "app/model/proof_model.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QPdfDocument;
class QPdfView;
class QProgressBar;

namespace tesmira::ui {

class DezaroziDropCard;
class LegacyButton;
class LineLimitedLabel;

class DezaroziDelegate : public QObject {
    Q_OBJECT

public:
    DezaroziDelegate();
    ~DezaroziDelegate() override;

    // Builds the main window once: controls, layout, menu, subscription to the model, the
    // project list, and the first refresh. With `present` false the window is not shown.
    void createWindow(bool present = true);

    // Projects the whole model onto the window.
    void refresh();

    // Actions of the mode and project pop-ups and of the strict checkbox.
    void modeChanged();
    void projectChanged();
    void previewChanged();

    // Whether the main window may close, which ends the application: asks first while a run
    // is going, and sends the worker SIGTERM when the answer is to stop.
    bool shouldQuit();
    // Closes the main window, through that question.
    void quit();
    void showSettings();

    // Asks whether to stop the run and quit; replaced by tests, which cannot answer a modal
    // dialog. True for "中止して終了".
    std::function<bool()> askToStopRun;

    app::ProofModel model;
    std::unique_ptr<QMainWindow> window;

    DezaroziDropCard* beforeCard = nullptr;
    DezaroziDropCard* afterCard = nullptr;
    QComboBox* mode = nullptr;
    QComboBox* projects = nullptr;
    QLineEdit* name = nullptr;
    LineLimitedLabel* status = nullptr;
    LineLimitedLabel* resultTitle = nullptr;
    QPdfView* pdf = nullptr;
    QProgressBar* progress = nullptr;
    QLabel* emptyPreview = nullptr;
    LegacyButton* startButton = nullptr;
    LegacyButton* baseline = nullptr;
    LegacyButton* resetButton = nullptr;
    LegacyButton* cancelButton = nullptr;
    LegacyButton* previous = nullptr;
    LegacyButton* next = nullptr;
    LegacyButton* createProject = nullptr;
    LegacyButton* openArchive = nullptr;
    QLabel* projectHint = nullptr;
    QLabel* settingsSummary = nullptr;
    QCheckBox* strict = nullptr;

    // The window's own state: the result shown, the page loaded into the preview, and the
    // signatures that spare the result selection and the project list needless resets.
    int selected = 0;
    QString previewKey;
    QString resultSignature;
    QString projectSignature;

    // The document in the preview, replaced whenever another page is loaded.
    std::unique_ptr<QPdfDocument> document;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void installMenu();
    bool asking_ = false;
    void showPreviewPage(const app::ProofPage& page);
};

// "てすみら v" + version + "（architecture）".
QString windowTitle();

// The window's content size on a screen whose free area is `available`: at most
// 1080 × 740, 32 and 64 pixels smaller than the screen.
QSize contentSize(QSize available);

}  // namespace tesmira::ui
