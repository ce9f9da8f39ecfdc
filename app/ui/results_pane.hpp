#pragma once
// The main window's results: the page navigation and the strict switch, the result title, the
// view bar (the views, the blink, the steps from change to change, zoom), the page list above
// the change list, and the preview of one result page with its old and new page. It owns the
// view menu's actions and keeps what the operator is looking at: the page shown and the change
// last stepped to.

#include <QList>
#include <QString>
#include <QWidget>

#include <optional>

#include "app/ui/result_preview.hpp"

class QAction;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;
class QToolButton;

namespace tesmira::app {
class ProofModel;
struct ProofPage;
}  // namespace tesmira::app

namespace tesmira::ui {

class ChangeListView;
class LineLimitedLabel;
class ZoomControls;

class ResultsPane : public QWidget {
    Q_OBJECT

public:
    explicit ResultsPane(app::ProofModel& model, QWidget* parent = nullptr);

    // Shows the model's results: the lists, the steps, the page shown and its views, and
    // whether each action can be used now.
    void refresh();

    // The view menu's actions in their groups: zoom, the views, the steps.
    QList<QList<QAction*>> viewMenuGroups() const;

    // Gives the keys to the preview, where Space, N and the zoom keys act.
    void focusPreview();

    // The pane's controls in the order the Tab key visits them.
    QList<QWidget*> tabChain() const;

private:
    QWidget* createNavigation();
    QWidget* createViewBar();
    QWidget* createViewButtons();
    void createPreview();
    QWidget* createLists();
    void createShowingActions();
    void createStepActions();

    // The parts of refresh(), in its order.
    void refreshPageList(bool rebuilt);
    void refreshChangeList();
    void refreshActions();
    void showEmptyPreview();
    void showPreviewPage(const app::ProofPage& page);
    void refreshViews(const app::ProofPage& page);

    void showPage(int index);
    void showPreviousPage();
    void showNextPage();
    void chooseView(ResultPreview::Showing showing);
    void showView(ResultPreview::Showing showing);
    void flipOldAndNew();
    void setBlinking(bool on);
    void stepChange(int direction);
    void goToChange(qsizetype row);
    std::optional<qsizetype> changeStep(int direction) const;

    app::ProofModel& model_;
    QPushButton* previousButton_;
    QPushButton* nextButton_;
    QCheckBox* strictCheck_;
    LineLimitedLabel* resultTitleLabel_;
    ResultPreview* preview_;
    QLabel* emptyPreviewLabel_;
    QListWidget* pageList_;
    ChangeListView* changeList_;
    QButtonGroup* viewButtons_;
    QToolButton* blinkButton_;
    QToolButton* previousChangeButton_;
    QToolButton* nextChangeButton_;
    QLabel* viewStatusLabel_;
    ZoomControls* zoom_;
    QList<QAction*> showingActions_;  // the four views, the flip between old and new, and blinking
    QAction* blinkAction_;
    QTimer* blinkTimer_;
    QList<QAction*> stepActions_;  // next and previous change, previous and next page
    QAction* nextChangeAction_;
    QAction* previousChangeAction_;
    QAction* previousPageAction_;
    QAction* nextPageAction_;

    // The result shown, the page loaded into the preview, and the signature of the results
    // that spares the selection needless resets.
    int selected_ = 0;
    QString previewKey_;
    QString resultSignature_;
    // The row of the model's change list last stepped to (none when the operator has gone to a
    // page by other means), and whether the lists show older results than the model's.
    std::optional<qsizetype> currentChange_;
    bool changesReset_ = true;
    bool refreshingLists_ = false;  // the lists are being set to what the pane shows
};

}  // namespace tesmira::ui
