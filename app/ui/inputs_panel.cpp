// The left column's construction, its projection of the model, and what its controls do.
#include "app/ui/inputs_panel.hpp"

#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <cmath>

#include "app/model/archive_library.hpp"
#include "app/model/proof_model.hpp"
#include "app/ui/input_scroll_area.hpp"
#include "app/ui/line_limited_label.hpp"
#include "app/ui/pdf_drop_card.hpp"
#include "app/ui/widget_helpers.hpp"

namespace tesmira::ui {
namespace {

// A drop card in a slot 4 pixels wider than the card.
QWidget* cardSlot(PdfDropCard* card) {
    auto* slot = new QWidget;
    auto* layout = new QHBoxLayout(slot);
    layout->setContentsMargins(0, 0, 4, 0);
    layout->addWidget(card);
    return slot;
}

// The inputs in a scroll area of the column's width that scrolls vertically.
QWidget* inScrollArea(QWidget* inputs) {
    auto* scroll = named(QStringLiteral("inputScrollArea"), new InputScrollArea(InputsPanel::WIDTH));
    scroll->setContent(inputs);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Not a stop of its own: the focus goes to what it holds, which it scrolls into view.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setFixedWidth(InputsPanel::WIDTH);
    scroll->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Maximum);
    scroll->viewport()->setAutoFillBackground(false);
    inputs->setAutoFillBackground(false);
    return scroll;
}

}  // namespace

InputsPanel::InputsPanel(app::ProofModel& model, QWidget* parent) : ColumnWidget(parent), model_(model) {
    QVBoxLayout* rows = makeColumn(this, {createInputs(), createRunButtons()});
    rows->addStretch(1);  // below the buttons
    setFixedWidth(WIDTH);
    createRunActions();
}

// The mode, the archive project, and the field and button that create one.
void InputsPanel::createProjectControls() {
    modeCombo_ = named(QStringLiteral("modeCombo"), new QComboBox);
    modeCombo_->addItems({QStringLiteral("新旧PDFを指定"), QStringLiteral("保存版と比較")});
    connect(modeCombo_, &QComboBox::activated, this, &InputsPanel::modeChanged);
    projectCombo_ = named(QStringLiteral("projectCombo"), new QComboBox);
    connect(projectCombo_, &QComboBox::activated, this, &InputsPanel::projectChanged);
    projectCombo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    projectCombo_->setMinimumContentsLength(16);
    projectNameEdit_ = named(QStringLiteral("projectNameEdit"), new QLineEdit);
    projectNameEdit_->setPlaceholderText(QStringLiteral("新しい案件名"));
    createProjectButton_ = namedButton(QStringLiteral("createProjectButton"), QStringLiteral("新しい案件を作成"));
    connect(createProjectButton_, &QPushButton::clicked, this, &InputsPanel::createProject);
    projectHintLabel_ = named(
        QStringLiteral("projectHintLabel"),
        wrappingLabel(
            QStringLiteral("同じ案件・同じファイル名の最新原稿と比較します。別案件・別名の原稿は自動選択しません。"),
            11));
}

// The mode, the archive project, the two drop cards and the notes, in a scroll area.
QWidget* InputsPanel::createInputs() {
    createProjectControls();
    beforeCard_ = new PdfDropCard(model_, app::Side::before);
    afterCard_ = new PdfDropCard(model_, app::Side::after);
    beforeCardSlot_ = cardSlot(beforeCard_);
    QWidget* afterCardSlot = cardSlot(afterCard_);
    settingsSummaryLabel_ = named(QStringLiteral("settingsSummaryLabel"), wrappingLabel(QString(), 11));

    auto* inputs = new ColumnWidget;
    QVBoxLayout* column = makeColumn(
        inputs,
        {wrappingLabel(QStringLiteral("比較する原稿"), 16),
         modeCombo_,
         projectCombo_,
         projectNameEdit_,
         createProjectButton_,
         projectHintLabel_,
         beforeCardSlot_,
         afterCardSlot,
         wrappingLabel(
             QStringLiteral(
                 "複数PDFは同じファイル名同士、各PDFは同じページ番号同士で比較します。ページの入替には対応しません。"),
             11),
         settingsSummaryLabel_});
    column->addStretch(1);  // the content starts at the top
    for (QWidget* slot : {beforeCardSlot_, afterCardSlot}) column->setAlignment(slot, {});
    // The hidden old card must not leave its slot's margin behind.
    beforeCardSlot_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    return inScrollArea(inputs);
}

// The start, baseline, archive, reset and cancel buttons, the progress and the status.
QWidget* InputsPanel::createRunButtons() {
    startButton_ = namedButton(QStringLiteral("startButton"), QStringLiteral("検版する"));
    connect(startButton_, &QPushButton::clicked, this, [this] { model_.start(false); });
    startButton_->setStyleSheet(QStringLiteral(
        "#startButton { font-weight: bold; font-size: 15px; color: palette(highlight); background: palette(button);"
        " border: 1px solid palette(mid); border-radius: 6px; }"
        "#startButton:pressed { background: palette(midlight); }"
        "#startButton:disabled { color: palette(mid); }"));
    startButton_->setFixedSize(WIDTH, 38);
    baselineButton_ = namedButton(QStringLiteral("baselineButton"), QStringLiteral("初回の原稿として保存（比較なし）"));
    connect(baselineButton_, &QPushButton::clicked, this, [this] { model_.start(true); });
    openArchiveButton_ = namedButton(QStringLiteral("openArchiveButton"), QStringLiteral("保存版フォルダーを開く"));
    connect(openArchiveButton_, &QPushButton::clicked, this, &InputsPanel::openArchiveFolder);
    resetButton_ = namedButton(QStringLiteral("resetButton"), QStringLiteral("リセットして次の検版"));
    connect(resetButton_, &QPushButton::clicked, this, [this] { model_.reset(); });
    cancelButton_ = namedButton(QStringLiteral("cancelButton"), QStringLiteral("中止する"));
    connect(cancelButton_, &QPushButton::clicked, this, [this] { model_.cancel(); });
    progressBar_ = named(QStringLiteral("progressBar"), new QProgressBar);
    progressBar_->setRange(0, 1000);
    progressBar_->setTextVisible(false);
    progressBar_->setFixedWidth(WIDTH);
    statusLabel_ = named(QStringLiteral("statusLabel"), new LineLimitedLabel(4));

    auto* buttons = named(QStringLiteral("actionsColumn"), new ColumnWidget);
    makeColumn(
        buttons,
        {startButton_,
         baselineButton_,
         openArchiveButton_,
         resetButton_,
         cancelButton_,
         progressBar_,
         statusLabel_,
         wrappingLabel(
             QStringLiteral(
                 "保存先：ダウンロード / てすみら検版_日時\n親フォルダー1つにPDFのみ。複数ページは原稿ごとにまとめます。"),
             11)});
    buttons->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    buttons->setFixedWidth(WIDTH);
    return buttons;
}

void InputsPanel::createRunActions() {
    const auto action = [this](const char* name, const QString& text, const QList<QKeySequence>& keys) {
        auto* made = new QAction(text, this);
        made->setObjectName(QString::fromLatin1(name));
        made->setShortcuts(keys);
        addAction(made);  // its keys work anywhere in the window, also before the menu was opened
        return made;
    };
    addBeforeAction_ =
        action("addBeforeAction", QStringLiteral("変更前のPDFを追加…"), {QKeySequence(Qt::CTRL | Qt::Key_O)});
    connect(addBeforeAction_, &QAction::triggered, this, [this] { model_.choose(true); });
    addAfterAction_ = action(
        "addAfterAction", QStringLiteral("変更後のPDFを追加…"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)});
    connect(addAfterAction_, &QAction::triggered, this, [this] { model_.choose(false); });
    startAction_ = action("startAction",
                          QStringLiteral("検版を開始"),
                          {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    connect(startAction_, &QAction::triggered, this, [this] { model_.start(false); });
    cancelAction_ = action("cancelAction", QStringLiteral("中止"), {QKeySequence(Qt::Key_Escape)});
    connect(cancelAction_, &QAction::triggered, this, [this] {
        if (model_.running()) model_.cancel();
    });
    startButton_->setToolTip(withShortcuts(startButton_->text(), startAction_->shortcuts()));
    cancelButton_->setToolTip(withShortcuts(cancelButton_->text(), cancelAction_->shortcuts()));
}

void InputsPanel::refresh() {
    refreshInputs();
    refreshProjects();
    refreshRunButtons();
    refreshStatus();
}

// The cards, the mode and the archive's project controls.
void InputsPanel::refreshInputs() {
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
}

// The project pop-up's items and its selection.
void InputsPanel::refreshProjects() {
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

// Start, register, reset and cancel, their actions, and the progress bar.
void InputsPanel::refreshRunButtons() {
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

    addBeforeAction_->setEnabled(!running && !archive);
    addAfterAction_->setEnabled(!running);
    startAction_->setEnabled(canStart);
    cancelAction_->setEnabled(running);
}

void InputsPanel::refreshStatus() {
    QStringList parts;
    for (const QString& part :
         {model_.status(), model_.matchIssue().value_or(QString()), model_.error().value_or(QString())})
        if (!part.isEmpty()) parts.append(part);
    const QString statusText = parts.join(QLatin1Char('\n'));
    statusLabel_->setFullText(statusText);
    statusLabel_->setToolTip(statusText);
}

QString InputsPanel::statusText() const { return statusLabel_->fullText(); }

QList<QWidget*> InputsPanel::tabChain() const {
    QList<QWidget*> chain{modeCombo_, projectCombo_, projectNameEdit_, createProjectButton_};
    for (PdfDropCard* card : {beforeCard_, afterCard_}) {
        // Its buttons and list, in the card's own order.
        for (QWidget* inner : card->findChildren<QWidget*>())
            if (inner->focusPolicy() & Qt::TabFocus) chain.append(inner);
    }
    chain << startButton_ << baselineButton_ << openArchiveButton_ << resetButton_ << cancelButton_;
    return chain;
}

void InputsPanel::modeChanged() {
    if (model_.running()) return;
    model_.setArchiveMode(modeCombo_->currentIndex() == 1);
    model_.refreshArchiveProjects();
    refresh();
}

void InputsPanel::projectChanged() {
    if (model_.running()) return;
    const QVariant id = projectCombo_->currentIndex() >= 0 ? projectCombo_->currentData() : QVariant();
    model_.setArchiveProjectID(id.typeId() == QMetaType::QString ? id.toString() : QString());
}

void InputsPanel::createProject() {
    model_.setNewProjectName(projectNameEdit_->text());
    model_.createArchiveProject();
    projectNameEdit_->setText(model_.newProjectName());
}

void InputsPanel::openArchiveFolder() {
    try {
        app::ArchiveLibrary::prepare(app::ArchiveLibrary::root());
    } catch (const std::exception& failure) {
        model_.setError(QString::fromUtf8(failure.what()));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(app::ArchiveLibrary::root()));
}

}  // namespace tesmira::ui
