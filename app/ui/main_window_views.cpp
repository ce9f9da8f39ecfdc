// Inspecting the results: the page list, the result and the old and new views, zoom, the steps
// from change to change, the run and view menus with their keys, and the word when a run ends.
#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

#include <cmath>

#include "app/model/desktop_notification.hpp"
#include "app/model/file_names.hpp"
#include "app/ui/line_limited_label.hpp"
#include "app/ui/main_window.hpp"
#include "app/ui/pdf_drop_card.hpp"
#include "app/ui/widget_helpers.hpp"

namespace tesmira::ui {
namespace {

using Showing = ResultPreview::Showing;

constexpr int PAGE_LIST_WIDTH = 176;

QToolButton* toolButton(const QString& name, const QString& text, const QString& accessibleName) {
    auto* button = new QToolButton;
    button->setObjectName(name);
    button->setText(text);
    button->setAccessibleName(accessibleName);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

// A small round mark: filled for a page with changes, a ring for a page without.
QIcon changeMark(const QColor& colour, bool filled) {
    QPixmap mark(12, 12);
    mark.fill(Qt::transparent);
    QPainter painter(&mark);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, 1.5));
    painter.setBrush(filled ? QBrush(colour) : QBrush(Qt::NoBrush));
    painter.drawEllipse(QRectF(2, 2, 8, 8));
    return QIcon(mark);
}

// "2ページ　3か所" or "2ページ　変更なし", over the source document's name.
QString pageRowText(const app::ProofPage& page) {
    return QString::number(page.page) + QStringLiteral("ページ\u3000") +
           (page.regions > 0 ? QString::number(page.regions) + QStringLiteral("か所") : QStringLiteral("変更なし")) +
           (page.sourceName.isEmpty() ? QString() : QLatin1Char('\n') + page.sourceName);
}

QString percentText(double percent) { return QString::number(std::lround(percent)) + QLatin1Char('%'); }

// The shortcut's text as the platform shows it, for a tool tip.
QString withKeys(const QString& text, const QList<QKeySequence>& keys) {
    QStringList names;
    for (const QKeySequence& key : keys) names.append(key.toString(QKeySequence::NativeText));
    return names.isEmpty() ? text
                           : text + QStringLiteral("（") + names.join(QStringLiteral("、")) + QStringLiteral("）");
}

}  // namespace

// The four views of the page as one segmented control.
QWidget* MainWindow::createViewSegments() {
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
            toolButton(QString::fromLatin1(view.name), QString::fromUtf8(view.text), QString::fromUtf8(view.text));
        segment->setCheckable(true);
        viewButtons_->addButton(segment, int(view.showing));
        segmentLayout->addWidget(segment);
    }
    viewButtons_->button(int(Showing::Result))->setChecked(true);
    connect(viewButtons_, &QButtonGroup::idClicked, this, [this](int id) { showView(Showing(id)); });
    return segmentRow;
}

void MainWindow::createZoomControls() {
    zoomOutButton_ = toolButton(QStringLiteral("zoomOutButton"), QStringLiteral("−"), QStringLiteral("縮小"));
    connect(zoomOutButton_, &QToolButton::clicked, preview_, &PageView::zoomOut);
    zoomCombo_ = new QComboBox;
    zoomCombo_->setObjectName(QStringLiteral("zoomCombo"));
    zoomCombo_->setAccessibleName(QStringLiteral("表示倍率"));
    zoomCombo_->setEditable(true);
    zoomCombo_->setInsertPolicy(QComboBox::NoInsert);
    zoomCombo_->addItem(QStringLiteral("ページ全体"));
    zoomCombo_->addItem(QStringLiteral("幅に合わせる"));
    for (int percent : {25, 50, 75, 100, 150, 200, 300, 400, 800, 1600}) zoomCombo_->addItem(percentText(percent));
    zoomCombo_->setMinimumContentsLength(7);
    connect(zoomCombo_, &QComboBox::activated, this, [this] { applyZoomText(); });
    connect(zoomCombo_->lineEdit(), &QLineEdit::returnPressed, this, &MainWindow::applyZoomText);
    zoomInButton_ = toolButton(QStringLiteral("zoomInButton"), QStringLiteral("+"), QStringLiteral("拡大"));
    connect(zoomInButton_, &QToolButton::clicked, preview_, &PageView::zoomIn);
}

// The views of the page, the change steps and the zoom, above the preview.
QWidget* MainWindow::createViewBar() {
    QWidget* segmentRow = createViewSegments();
    previousChangeButton_ =
        toolButton(QStringLiteral("previousChangeButton"), QStringLiteral("前の変更"), QStringLiteral("前の変更"));
    connect(previousChangeButton_, &QToolButton::clicked, this, [this] { stepChange(-1); });
    nextChangeButton_ =
        toolButton(QStringLiteral("nextChangeButton"), QStringLiteral("次の変更"), QStringLiteral("次の変更"));
    connect(nextChangeButton_, &QToolButton::clicked, this, [this] { stepChange(1); });

    viewStatusLabel_ = new QLabel;
    viewStatusLabel_->setObjectName(QStringLiteral("viewStatusLabel"));
    viewStatusLabel_->setForegroundRole(QPalette::PlaceholderText);
    viewStatusLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    createZoomControls();

    auto* bar = new QWidget;
    QHBoxLayout* row = makeRow(bar,
                               {segmentRow,
                                previousChangeButton_,
                                nextChangeButton_,
                                viewStatusLabel_,
                                zoomOutButton_,
                                zoomCombo_,
                                zoomInButton_});
    row->setStretchFactor(viewStatusLabel_, 1);
    return bar;
}

void MainWindow::createPageList() {
    pageList_ = new QListWidget;
    pageList_->setObjectName(QStringLiteral("pageList"));
    pageList_->setAccessibleName(QStringLiteral("結果のページ"));
    pageList_->setFixedWidth(PAGE_LIST_WIDTH);
    pageList_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    pageList_->setTextElideMode(Qt::ElideMiddle);
    pageList_->setWordWrap(true);
    pageList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pageList_->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(pageList_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0 || row == selected_) return;
        selected_ = row;
        currentChange_.reset();
        refresh();
    });
}

void MainWindow::createRunMenu() {
    QMenu* run = menuBar()->addMenu(QStringLiteral("検版"));
    QAction* addOld = run->addAction(QStringLiteral("変更前のPDFを追加…"), this, [this] { model_.choose(true); });
    addOld->setObjectName(QStringLiteral("addBeforeAction"));
    addOld->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction* addNew = run->addAction(QStringLiteral("変更後のPDFを追加…"), this, [this] { model_.choose(false); });
    addNew->setObjectName(QStringLiteral("addAfterAction"));
    addNew->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    run->addSeparator();
    QAction* start = run->addAction(QStringLiteral("検版を開始"), this, [this] { model_.start(false); });
    start->setObjectName(QStringLiteral("startAction"));
    start->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    QAction* cancel = run->addAction(QStringLiteral("中止"), this, [this] {
        if (model_.running()) model_.cancel();
    });
    cancel->setObjectName(QStringLiteral("cancelAction"));
    cancel->setShortcut(QKeySequence(Qt::Key_Escape));
    startButton_->setToolTip(withKeys(startButton_->text(), start->shortcuts()));
    cancelButton_->setToolTip(withKeys(cancelButton_->text(), cancel->shortcuts()));
    // Enabled as their buttons are, at every refresh.
    connect(run, &QMenu::aboutToShow, this, [=, this] {
        addOld->setEnabled(!model_.running() && !model_.archiveMode());
        addNew->setEnabled(!model_.running());
        start->setEnabled(model_.canStart());
        cancel->setEnabled(model_.running());
    });
}

QAction* MainWindow::addPreviewAction(QMenu* menu, const char* name, const QString& text,
                                      const QList<QKeySequence>& keys, const std::function<void()>& slot) {
    QAction* action = menu->addAction(text, this, slot);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcuts(keys);
    previewActions_.append(action);
    return action;
}

void MainWindow::addZoomActions(QMenu* view) {
    addPreviewAction(view,
                     "zoomInAction",
                     QStringLiteral("拡大"),
                     {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
                     [this] { preview_->zoomIn(); });
    addPreviewAction(view, "zoomOutAction", QStringLiteral("縮小"), {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, [this] {
        preview_->zoomOut();
    });
    addPreviewAction(
        view, "actualSizeAction", QStringLiteral("実際のサイズ"), {QKeySequence(Qt::CTRL | Qt::Key_1)}, [this] {
            preview_->setZoomPercent(100);
        });
    addPreviewAction(
        view, "fitPageAction", QStringLiteral("ページ全体を表示"), {QKeySequence(Qt::CTRL | Qt::Key_0)}, [this] {
            preview_->fitPage();
        });
    addPreviewAction(
        view, "fitWidthAction", QStringLiteral("幅に合わせる"), {QKeySequence(Qt::CTRL | Qt::Key_2)}, [this] {
            preview_->fitWidth();
        });
    zoomInButton_->setToolTip(withKeys(QStringLiteral("拡大"), {QKeySequence(Qt::CTRL | Qt::Key_Plus)}));
    zoomOutButton_->setToolTip(withKeys(QStringLiteral("縮小"), {QKeySequence(Qt::CTRL | Qt::Key_Minus)}));
}

// The four views on Alt+1 to Alt+4, and Space to flip the two pages while the preview has the
// focus (elsewhere it presses buttons).
void MainWindow::addShowingActions(QMenu* view) {
    const Qt::Key digits[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4};
    for (QAbstractButton* segment : viewButtons_->buttons()) {
        const int id = viewButtons_->id(segment);
        QAction* action = addPreviewAction(
            view, "", segment->text(), {QKeySequence(Qt::ALT | digits[id])}, [this, id] { showView(Showing(id)); });
        action->setObjectName(segment->objectName().replace(QStringLiteral("Button"), QStringLiteral("Action")));
        segment->setToolTip(withKeys(segment->text(), action->shortcuts()));
    }
    QAction* flip = addPreviewAction(
        view, "flipAction", QStringLiteral("変更前と変更後を切り替え"), {QKeySequence(Qt::Key_Space)}, [this] {
            flipOldAndNew();
        });
    flip->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    preview_->addAction(flip);
}

// From change to change and from page to page.
void MainWindow::addStepActions(QMenu* view) {
    QAction* next = addPreviewAction(view,
                                     "nextChangeAction",
                                     QStringLiteral("次の変更"),
                                     {QKeySequence(Qt::Key_N), QKeySequence(Qt::Key_F3)},
                                     [this] { stepChange(1); });
    QAction* previous = addPreviewAction(view,
                                         "previousChangeAction",
                                         QStringLiteral("前の変更"),
                                         {QKeySequence(Qt::SHIFT | Qt::Key_N), QKeySequence(Qt::SHIFT | Qt::Key_F3)},
                                         [this] { stepChange(-1); });
    nextChangeButton_->setToolTip(withKeys(nextChangeButton_->text(), next->shortcuts()));
    previousChangeButton_->setToolTip(withKeys(previousChangeButton_->text(), previous->shortcuts()));
    QAction* previousPage =
        addPreviewAction(view, "previousPageAction", QStringLiteral("前へ"), {QKeySequence(Qt::Key_PageUp)}, [this] {
            if (previousButton_->isEnabled()) showPrevious();
        });
    QAction* nextPage =
        addPreviewAction(view, "nextPageAction", QStringLiteral("次へ"), {QKeySequence(Qt::Key_PageDown)}, [this] {
            if (nextButton_->isEnabled()) showNext();
        });
    previousButton_->setToolTip(withKeys(previousButton_->text(), previousPage->shortcuts()));
    nextButton_->setToolTip(withKeys(nextButton_->text(), nextPage->shortcuts()));
}

void MainWindow::createViewMenu() {
    QMenu* view = menuBar()->addMenu(QStringLiteral("表示"));
    addZoomActions(view);
    view->addSeparator();
    addShowingActions(view);
    view->addSeparator();
    addStepActions(view);
}

// From the header over the left column to the results, top left to bottom right.
void MainWindow::setTabOrderAcrossTheWindow() {
    const QList<QWidget*> order = {findChild<QWidget*>(QStringLiteral("settingsButton")),
                                   findChild<QWidget*>(QStringLiteral("manualButton")),
                                   modeCombo_,
                                   projectCombo_,
                                   projectNameEdit_,
                                   createProjectButton_,
                                   beforeCard_,
                                   afterCard_,
                                   startButton_,
                                   baselineButton_,
                                   openArchiveButton_,
                                   resetButton_,
                                   cancelButton_,
                                   previousButton_,
                                   nextButton_,
                                   strictCheck_,
                                   findChild<QWidget*>(QStringLiteral("revealButton"))};
    QList<QWidget*> chain;
    for (QWidget* widget : order) {
        if (!widget) continue;
        if (qobject_cast<PdfDropCard*>(widget)) {
            // Its buttons and list, in the card's own order.
            for (QWidget* inner : widget->findChildren<QWidget*>())
                if (inner->focusPolicy() & Qt::TabFocus) chain.append(inner);
        } else {
            chain.append(widget);
        }
    }
    for (QAbstractButton* segment : viewButtons_->buttons()) chain.append(segment);
    chain << previousChangeButton_ << nextChangeButton_ << zoomOutButton_ << zoomCombo_ << zoomInButton_ << pageList_
          << preview_;
    for (qsizetype i = 0; i + 1 < chain.size(); ++i) setTabOrder(chain[i], chain[i + 1]);
}

void MainWindow::refreshPageList(bool rebuilt) {
    const QSignalBlocker quiet(pageList_);
    if (rebuilt) {
        pageList_->clear();
        const QColor changed(0xd0, 0x20, 0x20), none = palette().color(QPalette::PlaceholderText);
        for (qsizetype i = 0; i < model_.results().size(); ++i) {
            const app::ProofPage& page = model_.results()[i];
            auto* row = new QListWidgetItem(
                changeMark(page.regions > 0 ? changed : none, page.regions > 0), pageRowText(page), pageList_);
            row->setToolTip(row->text());
            // Each row as tall as its lines: the list lays out a row's lines but sizes it for one.
            const int lines = int(row->text().count(QLatin1Char('\n'))) + 1;
            row->setSizeHint(QSize(0, pageList_->fontMetrics().lineSpacing() * lines + 10));
            if (page.regions == 0) row->setForeground(none);
        }
    }
    pageList_->setCurrentRow(selected_ >= 0 && selected_ < pageList_->count() ? selected_ : -1);
}

void MainWindow::refreshChangeSteps() {
    changes_ = app::changeStops(model_.results(), model_.resultResolution());
    currentChange_.reset();
}

// The next (1) or previous (-1) change from the one last stepped to, or from the page shown.
std::optional<qsizetype> MainWindow::changeStep(int direction) const {
    if (changes_.isEmpty() || selected_ < 0) return std::nullopt;
    qsizetype target = -1;
    if (currentChange_ && changes_[*currentChange_].result == selected_) {
        target = *currentChange_ + direction;
    } else if (direction > 0) {
        const auto first = std::find_if(
            changes_.begin(), changes_.end(), [&](const app::ChangeStop& stop) { return stop.result >= selected_; });
        target = first - changes_.begin();
    } else {
        const auto last = std::find_if(
            changes_.rbegin(), changes_.rend(), [&](const app::ChangeStop& stop) { return stop.result < selected_; });
        target = last == changes_.rend() ? -1 : changes_.rend() - last - 1;
    }
    if (target < 0 || target >= changes_.size()) return std::nullopt;  // the ends stop
    return target;
}

void MainWindow::stepChange(int direction) {
    const std::optional<qsizetype> target = changeStep(direction);
    if (!target) return;
    currentChange_ = target;
    selected_ = int(changes_[*target].result);
    refresh();
    preview_->showArea(changes_[*target].area);
}

void MainWindow::showView(Showing showing) {
    if (QAbstractButton* segment = viewButtons_->button(int(showing))) segment->setChecked(true);
    preview_->setShowing(showing);
    refresh();
}

void MainWindow::flipOldAndNew() {
    showView(preview_->showing() == Showing::Before ? Showing::After : Showing::Before);
}

// The views the preview asks for, drawn by the helper on the first request of each page.
void MainWindow::refreshViews(const app::ProofPage& page) {
    if (preview_->showing() == Showing::Result) {
        viewStatusLabel_->clear();
        return;
    }
    const app::ComparedViews::Views views = model_.views().views(page, model_.resultResolution());
    using State = app::ComparedViews::State;
    preview_->setViews(views.state == State::Ready ? views.before : QString(),
                       views.state == State::Ready ? views.after : QString());
    switch (views.state) {
        case State::Ready:
            viewStatusLabel_->clear();
            break;
        case State::Drawing:
            viewStatusLabel_->setText(QStringLiteral("変更前と変更後を描画しています…"));
            break;
        case State::Failed:
            viewStatusLabel_->setText(QStringLiteral("変更前と変更後を表示できません: ") + views.message);
            break;
        case State::Unavailable:
            viewStatusLabel_->setText(QStringLiteral("このページの変更前と変更後はありません"));
            break;
    }
    viewStatusLabel_->setToolTip(viewStatusLabel_->text());
}

void MainWindow::refreshZoom() {
    const bool shown = preview_->pageSize().isValid() && !preview_->pageSize().isEmpty();
    for (QWidget* control : std::initializer_list<QWidget*>{zoomOutButton_, zoomCombo_, zoomInButton_})
        control->setEnabled(shown);
    if (!zoomCombo_->lineEdit()->hasFocus())
        zoomCombo_->setEditText(shown ? percentText(preview_->zoomPercent()) : QString());
}

void MainWindow::applyZoomText() {
    const QString text = zoomCombo_->currentText().trimmed();
    bool number = false;
    const double percent = QString(text).remove(QLatin1Char('%')).trimmed().toDouble(&number);
    if (text == zoomCombo_->itemText(0))
        preview_->fitPage();
    else if (text == zoomCombo_->itemText(1))
        preview_->fitWidth();
    else if (number && percent > 0)
        preview_->setZoomPercent(percent);
    preview_->setFocus();
    refreshZoom();
}

// A run that ends while the operator works elsewhere is told: on the desktop, and by the
// window asking for attention.
void MainWindow::tellRunEnded() {
    if (isActiveWindow()) return;
    app::notifyDesktop(QStringLiteral("検版が終わりました"), statusLabel_->fullText());
    QApplication::alert(this);
}

}  // namespace tesmira::ui
