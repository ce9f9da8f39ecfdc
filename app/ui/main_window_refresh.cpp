// The projection of the model onto the main window, run after every change of the model,
// and the actions of the mode and project pop-ups.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

#include "app/model/file_names.hpp"
#include "app/ui/line_limited_label.hpp"
#include "app/ui/main_window.hpp"
#include "app/ui/pdf_drop_card.hpp"

namespace tesmira::ui {

void MainWindow::refresh() {
    refreshInputs();
    refreshActions();
    refreshStatus();
    refreshResults();
}

// The cards, the mode and the archive's project controls.
void MainWindow::refreshInputs() {
    beforeCard_->refresh();
    afterCard_->refresh();

    const bool archive = model_.archiveMode();
    const bool running = model_.running();
    beforeCardSlot_->setVisible(!archive);
    for (QWidget* control : std::initializer_list<QWidget*>{
             projectCombo_, projectNameEdit_, createProjectButton_, openArchiveButton_, projectHintLabel_})
        control->setVisible(archive);
    createProjectButton_->setEnabled(!running);
    openArchiveButton_->setEnabled(!running);

    settingsSummaryLabel_->setText(
        QString::number(model_.settings().dpi()) + QStringLiteral("dpi\u3000") +
        (model_.settings().stamp() ? QStringLiteral("刻印あり") : QStringLiteral("刻印なし")));
    modeCombo_->setEnabled(!running);
    projectCombo_->setEnabled(!running);
    projectNameEdit_->setEnabled(!running);

    // The project items are rebuilt only when a project, an id or a name changed, so that an
    // open pop-up is not disturbed by unrelated refreshes.
    QString signature;
    for (const app::ArchiveProject& project : model_.archiveProjects()) signature += project.id + project.name;
    if (signature != projectSignature_) {
        projectSignature_ = signature;
        projectCombo_->clear();
        for (const app::ArchiveProject& project : model_.archiveProjects())
            projectCombo_->addItem(project.name, project.id);
    }
    const auto& list = model_.archiveProjects();
    const auto chosen = std::find_if(list.begin(), list.end(), [&](const app::ArchiveProject& project) {
        return project.id == model_.archiveProjectID();
    });
    projectCombo_->setCurrentIndex(chosen == list.end() ? -1 : int(chosen - list.begin()));
}

// Start, register, reset and cancel, and the progress bar.
void MainWindow::refreshActions() {
    const bool archive = model_.archiveMode();
    const bool running = model_.running();
    const bool canStart = model_.canStart();
    startButton_->setText(archive ? QStringLiteral("保存版と比較して更新") : QStringLiteral("検版する"));
    startButton_->setEnabled(canStart);
    baselineButton_->setVisible(archive);
    baselineButton_->setEnabled(canStart);
    resetButton_->setEnabled(!running &&
                             (!model_.before().isEmpty() || !model_.after().isEmpty() || !model_.results().isEmpty()));
    cancelButton_->setVisible(running);
    progressBar_->setVisible(running);
    progressBar_->setValue(int(std::lround(std::clamp(model_.progress(), 0.0, 1.0) * 1000)));
}

// The status line, and the desktop's word when a run has just ended.
void MainWindow::refreshStatus() {
    const bool running = model_.running();
    QStringList parts;
    for (const QString& part :
         {model_.status(), model_.matchIssue().value_or(QString()), model_.error().value_or(QString())})
        if (!part.isEmpty()) parts.append(part);
    const QString statusText = parts.join(QLatin1Char('\n'));
    statusLabel_->setFullText(statusText);
    statusLabel_->setToolTip(statusText);

    if (wasRunning_ && !running) tellRunEnded();
    wasRunning_ = running;
}

// The result pages: the list, the steps between pages and changes, and the preview.
void MainWindow::refreshResults() {
    QString results;
    for (const app::ProofPage& page : model_.results()) results += page.id();
    const bool newResults = results != resultSignature_;
    if (newResults) {
        resultSignature_ = results;
        selected_ = 0;
        const QSignalBlocker quiet(strictCheck_);  // a reset by the window, not the operator's choice
        strictCheck_->setChecked(false);
        refreshChangeSteps();
    }
    previousButton_->setEnabled(selected_ > 0);
    nextButton_->setEnabled(selected_ + 1 < model_.results().size());
    refreshPageList(newResults);
    previousChangeButton_->setEnabled(changeStep(-1).has_value());
    nextChangeButton_->setEnabled(changeStep(1).has_value());

    if (selected_ < 0 || selected_ >= model_.results().size() || !model_.output()) {
        showEmptyPreview();
        return;
    }
    emptyPreviewLabel_->hide();
    showPreviewPage(model_.results()[selected_]);
}

void MainWindow::showEmptyPreview() {
    preview_->clear();
    emptyPreviewLabel_->show();
    previewKey_.clear();
    resultTitleLabel_->setFullText(QStringLiteral("検版結果"));
    viewStatusLabel_->clear();
    refreshZoom();
}

void MainWindow::showPreviewPage(const app::ProofPage& page) {
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
    const bool stepped = currentChange_ && changes_[*currentChange_].result == selected_;
    preview_->setMark(stepped ? std::optional(changes_[*currentChange_].area) : std::nullopt);
    refreshViews(page);
    refreshZoom();
}

void MainWindow::modeChanged() {
    if (model_.running()) return;
    model_.setArchiveMode(modeCombo_->currentIndex() == 1);
    model_.refreshArchiveProjects();
    refresh();
}

void MainWindow::projectChanged() {
    if (model_.running()) return;
    const QVariant id = projectCombo_->currentIndex() >= 0 ? projectCombo_->currentData() : QVariant();
    model_.setArchiveProjectID(id.typeId() == QMetaType::QString ? id.toString() : QString());
}

}  // namespace tesmira::ui
