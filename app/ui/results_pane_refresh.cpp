// The results pane's projection of the model, run after every change of the model, and the
// operator's ways through the results: page by page, change by change, and view by view.
#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

#include "app/model/file_names.hpp"
#include "app/model/proof_model.hpp"
#include "app/ui/change_list_view.hpp"
#include "app/ui/line_limited_label.hpp"
#include "app/ui/results_pane.hpp"
#include "app/ui/zoom_controls.hpp"

namespace tesmira::ui {
namespace {

using Showing = ResultPreview::Showing;

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

// "2ページ　3件の変更" or "2ページ　変更なし", over the source document's name.
QString pageRowText(const app::ProofPage& page, qint64 changes) {
    return QString::number(page.page) + QStringLiteral("ページ\u3000") +
           (changes > 0 ? QString::number(changes) + QStringLiteral("件の変更") : QStringLiteral("変更なし")) +
           (page.sourceName.isEmpty() ? QString() : QLatin1Char('\n') + page.sourceName);
}

}  // namespace

void ResultsPane::refresh() {
    QString results;
    for (const app::ProofPage& page : model_.results()) results += page.id();
    const bool newResults = results != resultSignature_;
    if (newResults) {
        resultSignature_ = results;
        selected_ = 0;
        const QSignalBlocker quiet(strictCheck_);  // a reset by the window, not the operator's choice
        strictCheck_->setChecked(false);
    }
    refreshPageList(newResults || changesReset_);
    changesReset_ = false;
    refreshChangeList();
    if (selected_ < 0 || selected_ >= model_.results().size() || !model_.output())
        showEmptyPreview();
    else
        showPreviewPage(model_.results()[selected_]);
    refreshActions();
}

void ResultsPane::refreshPageList(bool rebuilt) {
    const QSignalBlocker quiet(pageList_);
    if (rebuilt) {
        pageList_->clear();
        const QColor changed(0xd0, 0x20, 0x20), none = palette().color(QPalette::PlaceholderText);
        for (qsizetype i = 0; i < model_.results().size(); ++i) {
            const app::ProofPage& page = model_.results()[i];
            const qint64 changes = model_.changes().changesOnPage(i);
            auto* row = new QListWidgetItem(
                changeMark(page.regions > 0 ? changed : none, page.regions > 0), pageRowText(page, changes), pageList_);
            row->setToolTip(row->text());
            // Each row as tall as its lines: the list lays out a row's lines but sizes it for one.
            const int lines = int(row->text().count(QLatin1Char('\n'))) + 1;
            row->setSizeHint(QSize(0, pageList_->fontMetrics().lineSpacing() * lines + 10));
            if (page.regions == 0) row->setForeground(none);
        }
    }
    pageList_->setCurrentRow(selected_ >= 0 && selected_ < pageList_->count() ? selected_ : -1);
}

// The change last stepped to is the change list's current row, in view.
void ResultsPane::refreshChangeList() {
    const QModelIndex current = currentChange_ ? model_.changes().index(int(*currentChange_)) : QModelIndex();
    if (changeList_->currentIndex() == current) return;
    const QScopedValueRollback quiet(refreshingLists_, true);
    changeList_->selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect);
    if (current.isValid()) changeList_->scrollTo(current);
}

// Every button and action that moves through the results, enabled where it leads somewhere.
void ResultsPane::refreshActions() {
    const bool shown = preview_->pageSize().isValid() && !preview_->pageSize().isEmpty();
    const bool hasPrevious = selected_ > 0, hasNext = selected_ + 1 < model_.results().size();
    previousButton_->setEnabled(hasPrevious);
    nextButton_->setEnabled(hasNext);
    previousPageAction_->setEnabled(hasPrevious);
    nextPageAction_->setEnabled(hasNext);
    const bool previousChange = changeStep(-1).has_value(), nextChange = changeStep(1).has_value();
    previousChangeButton_->setEnabled(previousChange);
    nextChangeButton_->setEnabled(nextChange);
    previousChangeAction_->setEnabled(previousChange);
    nextChangeAction_->setEnabled(nextChange);
    for (QAction* action : showingActions_) action->setEnabled(shown);
    blinkButton_->setEnabled(shown);
    if (!shown) setBlinking(false);
    zoom_->refresh();
}

void ResultsPane::showEmptyPreview() {
    preview_->clear();
    emptyPreviewLabel_->show();
    previewKey_.clear();
    resultTitleLabel_->setFullText(QStringLiteral("検版結果"));
    viewStatusLabel_->clear();
}

void ResultsPane::showPreviewPage(const app::ProofPage& page) {
    emptyPreviewLabel_->hide();
    strictCheck_->setEnabled(page.strictFile.has_value());
    const QString shown = strictCheck_->isChecked() && page.strictFile ? *page.strictFile : page.file;
    const QString key = shown + QLatin1Char('#') + QString::number(page.page);
    resultTitleLabel_->setFullText(
        QString::number(selected_ + 1) + QStringLiteral(" / ") + QString::number(model_.results().size()) +
        QStringLiteral("\u3000") + page.sourceName + QStringLiteral("\u3000") + QString::number(page.page) +
        QStringLiteral("ページ\u3000") + QString::number(page.regions) + QStringLiteral("か所"));
    if (key != previewKey_) {
        previewKey_ = key;
        preview_->showResult(
            app::filePath(*model_.output()) + QLatin1Char('/') + shown, int(page.page - 1), model_.resultResolution());
    }
    const app::ChangeList& changes = model_.changes();
    QList<QRect> boxes;
    for (const app::ChangeStop& stop : changes.stops())
        if (stop.result == selected_) boxes.append(stop.change.box);
    preview_->setChanges(boxes);  // where the panes' labels do not go
    const bool stepped = currentChange_ && changes.stop(*currentChange_).result == selected_;
    preview_->setMark(stepped ? std::optional(changes.stop(*currentChange_).change.box) : std::nullopt);
    refreshViews(page);
}

// The views the preview asks for, drawn by the helper on the first request of each page.
void ResultsPane::refreshViews(const app::ProofPage& page) {
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

// A page chosen by other means than a step: no change is the current one.
void ResultsPane::showPage(int index) {
    selected_ = index;
    currentChange_.reset();
    refresh();
}

void ResultsPane::showPreviousPage() {
    if (selected_ > 0) showPage(selected_ - 1);
}

void ResultsPane::showNextPage() {
    if (selected_ + 1 < model_.results().size()) showPage(selected_ + 1);
}

// The next (1) or previous (-1) change from the one last stepped to, or from the page shown.
std::optional<qsizetype> ResultsPane::changeStep(int direction) const {
    const QList<app::ChangeStop>& stops = model_.changes().stops();
    if (stops.isEmpty() || selected_ < 0) return std::nullopt;
    qsizetype target = -1;
    if (currentChange_ && stops[*currentChange_].result == selected_) {
        target = *currentChange_ + direction;
    } else if (direction > 0) {
        const auto first = std::find_if(
            stops.begin(), stops.end(), [&](const app::ChangeStop& stop) { return stop.result >= selected_; });
        target = first - stops.begin();
    } else {
        const auto last = std::find_if(
            stops.rbegin(), stops.rend(), [&](const app::ChangeStop& stop) { return stop.result < selected_; });
        target = last == stops.rend() ? -1 : stops.rend() - last - 1;
    }
    if (target < 0 || target >= stops.size()) return std::nullopt;  // the ends stop
    return target;
}

void ResultsPane::stepChange(int direction) {
    const std::optional<qsizetype> target = changeStep(direction);
    if (!target) return;
    goToChange(*target);
    focusPreview();
}

// The change centred and zoomed in the preview, its page shown, its row current.
void ResultsPane::goToChange(qsizetype row) {
    currentChange_ = row;
    selected_ = int(model_.changes().stop(row).result);
    refresh();
    preview_->showArea(model_.changes().stop(row).change.box);
}

// The view the operator chose, by a button, its accessible toggle, its key or the menu: it ends
// the blinking.
void ResultsPane::chooseView(Showing showing) {
    if (!blinkTimer_->isActive() && showing == preview_->showing()) return;
    setBlinking(false);
    showView(showing);
}

void ResultsPane::showView(Showing showing) {
    preview_->setShowing(showing);
    if (QAbstractButton* segment = viewButtons_->button(int(showing))) {
        const QSignalBlocker quiet(viewButtons_);  // the window's own choice, not the operator's
        segment->setChecked(true);
    }
    refresh();
}

void ResultsPane::flipOldAndNew() {
    setBlinking(false);
    showView(preview_->showing() == Showing::Before ? Showing::After : Showing::Before);
}

// Blinking flips the old and the new page every half second, starting from the old one, until
// it is stopped or a view is chosen.
void ResultsPane::setBlinking(bool on) {
    {
        const QSignalBlocker quietButton(blinkButton_), quietAction(blinkAction_);
        blinkButton_->setChecked(on);
        blinkAction_->setChecked(on);
    }
    if (on == blinkTimer_->isActive()) return;
    if (!on) {
        blinkTimer_->stop();
        return;
    }
    blinkTimer_->start();
    showView(Showing::Before);
}

}  // namespace tesmira::ui
