// The results pane's construction: the navigation row, the title, the view bar, the page and
// change lists beside the preview, and the view menu's actions with their keys.
#include "app/ui/results_pane.hpp"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>

#include "app/model/proof_model.hpp"
#include "app/ui/change_list_view.hpp"
#include "app/ui/line_limited_label.hpp"
#include "app/ui/widget_helpers.hpp"
#include "app/ui/zoom_controls.hpp"

namespace tesmira::ui {
namespace {

using Showing = ResultPreview::Showing;

constexpr int LISTS_WIDTH = 220;

}  // namespace

ResultsPane::ResultsPane(app::ProofModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    QWidget* navigation = createNavigation();
    resultTitleLabel_ = named(QStringLiteral("resultTitleLabel"), new LineLimitedLabel(2));
    resultTitleLabel_->setFullText(QStringLiteral("検版結果"));
    createPreview();
    QWidget* viewBar = createViewBar();
    QWidget* lists = createLists();
    createShowingActions();
    createStepActions();
    // The change last stepped to goes with the changes; the lists are rebuilt at the next refresh.
    connect(&model_.changes(), &QAbstractItemModel::modelReset, this, [this] {
        currentChange_.reset();
        changesReset_ = true;
    });

    auto* pages = new QWidget;
    QHBoxLayout* pagesRow = makeRow(pages, {lists, preview_});
    pagesRow->setAlignment(lists, {});
    pagesRow->setAlignment(preview_, {});
    pagesRow->setStretchFactor(preview_, 1);

    auto* column = new ColumnWidget;
    QVBoxLayout* rows = makeColumn(column, {navigation, resultTitleLabel_, viewBar, pages});
    for (QWidget* widget : std::initializer_list<QWidget*>{navigation, viewBar, pages}) rows->setAlignment(widget, {});
    rows->setStretchFactor(pages, 1);
    placeWithPadding(this, column, 0);
}

// Previous and next result page, the strict comparison's switch, and the saved PDFs.
QWidget* ResultsPane::createNavigation() {
    previousButton_ = namedButton(QStringLiteral("previousButton"), QStringLiteral("前へ"));
    connect(previousButton_, &QPushButton::clicked, this, &ResultsPane::showPreviousPage);
    nextButton_ = namedButton(QStringLiteral("nextButton"), QStringLiteral("次へ"));
    connect(nextButton_, &QPushButton::clicked, this, &ResultsPane::showNextPage);
    strictCheck_ = named(QStringLiteral("strictCheck"), new QCheckBox(QStringLiteral("厳密比較")));
    // toggled, not clicked: assistive technology toggles the box without a click.
    connect(strictCheck_, &QCheckBox::toggled, this, &ResultsPane::refresh);
    QPushButton* reveal = namedButton(QStringLiteral("revealButton"), QStringLiteral("保存したPDFを表示"));
    connect(reveal, &QPushButton::clicked, this, [this] { model_.reveal(); });
    // A click leaves the keys where they were, with the preview while inspecting.
    for (QWidget* control : std::initializer_list<QWidget*>{previousButton_, nextButton_, strictCheck_, reveal})
        control->setFocusPolicy(Qt::TabFocus);
    auto* navigation = new QWidget;
    makeRow(navigation, {previousButton_, nextButton_, strictCheck_, reveal, spacer()});
    return navigation;
}

void ResultsPane::createPreview() {
    preview_ = named(QStringLiteral("preview"), new ResultPreview);
    preview_->setMinimumSize(420, 200);
    preview_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    preview_->setAccessibleName(QStringLiteral("プレビュー"));
    emptyPreviewLabel_ = named(
        QStringLiteral("emptyPreviewLabel"),
        wrappingLabel(
            QStringLiteral("新旧PDFをドラッグして、検版を開始\n\n変更なしは薄く、変更箇所は赤い輪郭で表示します。"),
            13));
    emptyPreviewLabel_->setAlignment(Qt::AlignCenter);
    emptyPreviewLabel_->setForegroundRole(QPalette::PlaceholderText);
    auto* overlay = new QVBoxLayout(preview_->viewport());
    overlay->setContentsMargins(16, 0, 16, 0);
    overlay->addWidget(emptyPreviewLabel_, 0, Qt::AlignVCenter);
}

// The four views of the page as one segmented control, and the blink beside them.
QWidget* ResultsPane::createViewButtons() {
    viewButtons_ = new QButtonGroup(this);
    viewButtons_->setExclusive(true);
    const struct {
        const char* name;
        const char* text;
        Showing showing;
    } views[] = {{"resultViewButton", "結果", Showing::Result},
                 {"beforeViewButton", "変更前", Showing::Before},
                 {"afterViewButton", "変更後", Showing::After},
                 {"sideBySideButton", "並べて表示", Showing::SideBySide}};
    auto* segmentRow = new QWidget;
    auto* segmentLayout = new QHBoxLayout(segmentRow);
    segmentLayout->setContentsMargins(0, 0, 0, 0);
    segmentLayout->setSpacing(0);  // one segmented control
    for (const auto& view : views) {
        QToolButton* segment =
            namedToolButton(QString::fromLatin1(view.name), QString::fromUtf8(view.text), QString::fromUtf8(view.text));
        segment->setCheckable(true);
        viewButtons_->addButton(segment, int(view.showing));
        segmentLayout->addWidget(segment);
    }
    viewButtons_->button(int(Showing::Result))->setChecked(true);
    // toggled as well as clicked: assistive technology toggles a button without a click, and a
    // click on the view shown while blinking toggles nothing.
    connect(viewButtons_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) chooseView(Showing(id));
    });
    connect(viewButtons_, &QButtonGroup::idClicked, this, [this](int id) { chooseView(Showing(id)); });

    blinkButton_ = namedToolButton(QStringLiteral("blinkButton"), QStringLiteral("点滅"), QStringLiteral("点滅"));
    blinkButton_->setCheckable(true);
    connect(blinkButton_, &QToolButton::toggled, this, &ResultsPane::setBlinking);
    blinkTimer_ = named(QStringLiteral("blinkTimer"), new QTimer(this));
    blinkTimer_->setInterval(500);
    connect(blinkTimer_, &QTimer::timeout, this, [this] {
        showView(preview_->showing() == Showing::Before ? Showing::After : Showing::Before);
    });
    auto* segmentsAndBlink = new QWidget;
    makeRow(segmentsAndBlink, {segmentRow, blinkButton_});
    return segmentsAndBlink;
}

// The views of the page, the change steps and the zoom, above the preview.
QWidget* ResultsPane::createViewBar() {
    QWidget* views = createViewButtons();
    previousChangeButton_ =
        namedToolButton(QStringLiteral("previousChangeButton"), QStringLiteral("前の変更"), QStringLiteral("前の変更"));
    connect(previousChangeButton_, &QToolButton::clicked, this, [this] { stepChange(-1); });
    nextChangeButton_ =
        namedToolButton(QStringLiteral("nextChangeButton"), QStringLiteral("次の変更"), QStringLiteral("次の変更"));
    connect(nextChangeButton_, &QToolButton::clicked, this, [this] { stepChange(1); });

    viewStatusLabel_ = named(QStringLiteral("viewStatusLabel"), new QLabel);
    viewStatusLabel_->setForegroundRole(QPalette::PlaceholderText);
    viewStatusLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    zoom_ = new ZoomControls(*preview_);

    auto* bar = new QWidget;
    QHBoxLayout* row = makeRow(bar, {views, previousChangeButton_, nextChangeButton_, viewStatusLabel_, zoom_});
    row->setStretchFactor(viewStatusLabel_, 1);
    return bar;
}

// The result pages above the changes, each list taller as the operator drags between them. A
// click on a row also gives the keys to the preview; the arrow keys move through a list.
QWidget* ResultsPane::createLists() {
    pageList_ = named(QStringLiteral("pageList"), new QListWidget);
    pageList_->setAccessibleName(QStringLiteral("結果のページ"));
    pageList_->setTextElideMode(Qt::ElideMiddle);
    pageList_->setWordWrap(true);
    pageList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pageList_->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(pageList_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row != selected_) showPage(row);
    });
    connect(pageList_, &QListWidget::itemClicked, this, &ResultsPane::focusPreview);

    changeList_ = named(QStringLiteral("changeList"), new ChangeListView(model_));
    connect(changeList_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& row) {
        // A click goes to the change when it is released; the keys go at once.
        if (!refreshingLists_ && row.isValid() && QApplication::mouseButtons() == Qt::NoButton) goToChange(row.row());
    });
    const auto goAndInspect = [this](const QModelIndex& row) {
        if (!row.isValid()) return;
        goToChange(row.row());
        focusPreview();
    };
    connect(changeList_, &QListView::clicked, this, goAndInspect);
    connect(changeList_, &QListView::activated, this, goAndInspect);

    auto* lists = named(QStringLiteral("resultLists"), new QSplitter(Qt::Vertical));
    lists->addWidget(pageList_);
    lists->addWidget(changeList_);
    lists->setStretchFactor(0, 1);
    lists->setStretchFactor(1, 2);
    lists->setChildrenCollapsible(false);
    lists->setFixedWidth(LISTS_WIDTH);
    lists->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    return lists;
}

// The four views on Alt+1 to Alt+4, Space to flip the two pages while the preview has the focus
// (elsewhere it presses what has it), and B to blink.
void ResultsPane::createShowingActions() {
    const Qt::Key digits[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4};
    for (QAbstractButton* segment : viewButtons_->buttons()) {
        const int id = viewButtons_->id(segment);
        auto* action = new QAction(segment->text(), this);
        action->setObjectName(segment->objectName().replace(QStringLiteral("Button"), QStringLiteral("Action")));
        action->setShortcut(QKeySequence(Qt::ALT | digits[id]));
        connect(action, &QAction::triggered, this, [this, id] { chooseView(Showing(id)); });
        segment->setToolTip(withShortcuts(segment->text(), action->shortcuts()));
        showingActions_.append(action);
    }
    auto* flip = new QAction(QStringLiteral("変更前と変更後を切り替え"), this);
    flip->setObjectName(QStringLiteral("flipAction"));
    flip->setShortcut(QKeySequence(Qt::Key_Space));
    flip->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(flip, &QAction::triggered, this, &ResultsPane::flipOldAndNew);
    preview_->addAction(flip);
    blinkAction_ = new QAction(QStringLiteral("点滅"), this);
    blinkAction_->setObjectName(QStringLiteral("blinkAction"));
    blinkAction_->setCheckable(true);
    blinkAction_->setShortcut(QKeySequence(Qt::Key_B));
    connect(blinkAction_, &QAction::toggled, this, &ResultsPane::setBlinking);
    blinkButton_->setToolTip(withShortcuts(blinkButton_->text(), blinkAction_->shortcuts()));
    addActions(showingActions_);  // the views' keys work anywhere in the window
    addAction(blinkAction_);
    showingActions_ << flip << blinkAction_;
}

// From change to change and from page to page.
void ResultsPane::createStepActions() {
    const auto action = [this](const char* name, const QString& text, const QList<QKeySequence>& keys) {
        auto* made = new QAction(text, this);
        made->setObjectName(QString::fromLatin1(name));
        made->setShortcuts(keys);
        addAction(made);
        stepActions_.append(made);
        return made;
    };
    nextChangeAction_ =
        action("nextChangeAction", QStringLiteral("次の変更"), {QKeySequence(Qt::Key_N), QKeySequence(Qt::Key_F3)});
    connect(nextChangeAction_, &QAction::triggered, this, [this] { stepChange(1); });
    previousChangeAction_ = action("previousChangeAction",
                                   QStringLiteral("前の変更"),
                                   {QKeySequence(Qt::SHIFT | Qt::Key_N), QKeySequence(Qt::SHIFT | Qt::Key_F3)});
    connect(previousChangeAction_, &QAction::triggered, this, [this] { stepChange(-1); });
    previousPageAction_ = action("previousPageAction", QStringLiteral("前へ"), {QKeySequence(Qt::Key_PageUp)});
    connect(previousPageAction_, &QAction::triggered, this, &ResultsPane::showPreviousPage);
    nextPageAction_ = action("nextPageAction", QStringLiteral("次へ"), {QKeySequence(Qt::Key_PageDown)});
    connect(nextPageAction_, &QAction::triggered, this, &ResultsPane::showNextPage);
    nextChangeButton_->setToolTip(withShortcuts(nextChangeButton_->text(), nextChangeAction_->shortcuts()));
    previousChangeButton_->setToolTip(withShortcuts(previousChangeButton_->text(), previousChangeAction_->shortcuts()));
    previousButton_->setToolTip(withShortcuts(previousButton_->text(), previousPageAction_->shortcuts()));
    nextButton_->setToolTip(withShortcuts(nextButton_->text(), nextPageAction_->shortcuts()));
}

QList<QList<QAction*>> ResultsPane::viewMenuGroups() const {
    return {zoom_->zoomActions(), showingActions_, stepActions_};
}

QList<QWidget*> ResultsPane::tabChain() const {
    QList<QWidget*> chain{
        previousButton_, nextButton_, strictCheck_, findChild<QWidget*>(QStringLiteral("revealButton"))};
    for (QAbstractButton* segment : viewButtons_->buttons()) chain.append(segment);
    chain << blinkButton_ << previousChangeButton_ << nextChangeButton_ << zoom_->tabChain() << pageList_ << changeList_
          << preview_;
    return chain;
}

void ResultsPane::focusPreview() { preview_->setFocus(Qt::OtherFocusReason); }

}  // namespace tesmira::ui
