// The projection of the model onto the main window, run after every change of the model,
// and the actions of the mode and project pop-ups and the strict checkbox.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPdfDocument>
#include <QPdfPageNavigator>
#include <QPdfView>
#include <QProgressBar>
#include <QSignalBlocker>

#include "app/model/file_names.hpp"
#include "app/ui/control_kit.hpp"
#include "app/ui/delegate.hpp"
#include "app/ui/drop_card.hpp"

namespace tesmira::ui {

void DezaroziDelegate::refresh() {
    beforeCard->refresh();
    afterCard->refresh();

    const bool archive = model.archiveMode();
    const bool running = model.running();
    beforeCard->parentWidget()->setVisible(!archive);
    for (QWidget* control : std::initializer_list<QWidget*>{projects, name, createProject, openArchive, projectHint})
        control->setVisible(archive);
    createProject->setEnabled(!running);
    openArchive->setEnabled(!running);

    settingsSummary->setText(QString::number(model.settings().dpi()) + QStringLiteral("dpi\u3000") +
                             (model.settings().stamp() ? QStringLiteral("刻印あり") : QStringLiteral("刻印なし")));
    mode->setEnabled(!running);
    projects->setEnabled(!running);
    name->setEnabled(!running);

    // The project items are rebuilt only when a project, an id or a name changed, so that an
    // open pop-up is not disturbed by unrelated refreshes.
    QString signature;
    for (const app::ArchiveProject& project : model.archiveProjects()) signature += project.id + project.name;
    if (signature != projectSignature) {
        projectSignature = signature;
        projects->clear();
        for (const app::ArchiveProject& project : model.archiveProjects()) projects->addItem(project.name, project.id);
    }
    const auto& list = model.archiveProjects();
    const auto chosen = std::find_if(list.begin(), list.end(),
                                     [&](const app::ArchiveProject& project) { return project.id == model.archiveProjectID(); });
    projects->setCurrentIndex(chosen == list.end() ? -1 : int(chosen - list.begin()));

    const bool canStart = model.canStart();
    startButton->setText(archive ? QStringLiteral("保存版と比較して更新") : QStringLiteral("検版する"));
    startButton->setEnabled(canStart);
    baseline->setVisible(archive);
    baseline->setEnabled(canStart);
    resetButton->setEnabled(!running && (!model.before().isEmpty() || !model.after().isEmpty() || !model.results().isEmpty()));
    cancelButton->setVisible(running);
    progress->setVisible(running);
    progress->setValue(int(std::lround(std::clamp(model.progress(), 0.0, 1.0) * 1000)));

    QStringList parts;
    for (const QString& part : {model.status(), model.matchIssue().value_or(QString()), model.error().value_or(QString())})
        if (!part.isEmpty()) parts.append(part);
    const QString statusText = parts.join(QLatin1Char('\n'));
    status->setFullText(statusText);
    status->setToolTip(statusText);

    QString results;
    for (const app::ProofPage& page : model.results()) results += page.id();
    if (results != resultSignature) {
        resultSignature = results;
        selected = 0;
        const QSignalBlocker quiet(strict);  // a reset by the window, not the operator's choice
        strict->setChecked(false);
    }
    previous->setEnabled(selected > 0);
    next->setEnabled(selected + 1 < model.results().size());

    if (selected < 0 || selected >= model.results().size() || !model.output()) {
        pdf->setDocument(nullptr);
        document.reset();
        emptyPreview->show();
        previewKey.clear();
        resultTitle->setFullText(QStringLiteral("検版結果"));
        return;
    }
    emptyPreview->hide();
    showPreviewPage(model.results()[selected]);
}

void DezaroziDelegate::showPreviewPage(const app::ProofPage& page) {
    strict->setEnabled(page.strictFile.has_value());
    const QString shown = strict->isChecked() && page.strictFile ? *page.strictFile : page.file;
    const QString key = shown + QLatin1Char('#') + QString::number(page.page);
    resultTitle->setFullText(QString::number(selected + 1) + QStringLiteral(" / ") + QString::number(model.results().size()) +
                             QStringLiteral("\u3000") + page.sourceName + QStringLiteral("\u3000") + QString::number(page.page) +
                             QStringLiteral("ページ\u3000") + QString::number(page.regions) + QStringLiteral("か所"));
    if (key == previewKey) return;
    previewKey = key;
    auto loaded = std::make_unique<QPdfDocument>();
    const bool opened = loaded->load(app::filePath(*model.output()) + QLatin1Char('/') + shown) == QPdfDocument::Error::None;
    pdf->setDocument(opened ? loaded.get() : nullptr);
    document = opened ? std::move(loaded) : nullptr;
    if (document && page.page >= 1 && page.page <= document->pageCount())
        pdf->pageNavigator()->jump(int(page.page - 1), QPointF(), 0);
}

void DezaroziDelegate::modeChanged() {
    if (model.running()) return;
    model.setArchiveMode(mode->currentIndex() == 1);
    model.refreshArchiveProjects();
    refresh();
}

void DezaroziDelegate::projectChanged() {
    if (model.running()) return;
    const QVariant id = projects->currentIndex() >= 0 ? projects->currentData() : QVariant();
    model.setArchiveProjectID(id.typeId() == QMetaType::QString ? id.toString() : QString());
}

void DezaroziDelegate::previewChanged() { refresh(); }

}  // namespace tesmira::ui
