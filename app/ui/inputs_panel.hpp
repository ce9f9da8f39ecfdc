#pragma once
// The main window's left column: the mode and the archive project, the two drop cards, the
// settings summary, and below them the run's buttons, its progress and the status. It owns the
// run menu's actions.

#include "app/ui/widget_helpers.hpp"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tesmira::app {
class ProofModel;
}

namespace tesmira::ui {

class LineLimitedLabel;
class PdfDropCard;

class InputsPanel : public ColumnWidget {
    Q_OBJECT

public:
    static constexpr int WIDTH = 300;

    explicit InputsPanel(app::ProofModel& model, QWidget* parent = nullptr);

    // Shows the model: the cards, the mode and project controls, the buttons, the status, and
    // whether each action can be used now.
    void refresh();

    // The run menu's actions, in the menu's order: add old and new PDFs, start, cancel.
    QAction* addBeforeAction() const { return addBeforeAction_; }
    QAction* addAfterAction() const { return addAfterAction_; }
    QAction* startAction() const { return startAction_; }
    QAction* cancelAction() const { return cancelAction_; }

    // The status as the label holds it, whole.
    QString statusText() const;

    // The panel's controls in the order the Tab key visits them.
    QList<QWidget*> tabChain() const;

private:
    void createProjectControls();
    QWidget* createInputs();
    QWidget* createRunButtons();
    void createRunActions();

    void createProject();
    void openArchiveFolder();
    void modeChanged();
    void projectChanged();

    // The parts of refresh(), in its order.
    void refreshInputs();
    void refreshProjects();
    void refreshRunButtons();
    void refreshStatus();

    app::ProofModel& model_;
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
    QAction* addBeforeAction_;
    QAction* addAfterAction_;
    QAction* startAction_;
    QAction* cancelAction_;

    // The project list last shown: its items are rebuilt only when this changes.
    QString projectSignature_;
};

}  // namespace tesmira::ui
