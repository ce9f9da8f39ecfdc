// The main window's construction: the header, the manual row, the input column with the
// actions below it on the left, the results on the right, the menus, and what each button does.
#include "app/ui/main_window.hpp"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSysInfo>

#include "app/model/archive_library.hpp"
#include "app/ui/accessibility.hpp"
#include "app/ui/input_scroll_area.hpp"
#include "app/ui/line_limited_label.hpp"
#include "app/ui/pdf_drop_card.hpp"
#include "app/ui/settings_window.hpp"
#include "app/ui/widget_helpers.hpp"

namespace tesmira::ui {
namespace {

constexpr int LEFT_COLUMN_WIDTH = 300;

// Takes the free width of a row.
QWidget* spacer() {
    auto* space = new QWidget;
    space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return space;
}

QPixmap resourceImage(const QString& name) { return QPixmap(QStringLiteral(":/resources/") + name); }

QPushButton* button(const QString& name, const QString& title) {
    auto* button = new QPushButton(title);
    button->setObjectName(name);
    return button;
}

template <typename Widget>
Widget* named(const QString& name, Widget* widget) {
    widget->setObjectName(name);
    return widget;
}

bool askToStopTheRun(QWidget* parent) {
    QMessageBox box(QMessageBox::Question,
                    QString(),
                    QStringLiteral("検版を中止して終了しますか？"),
                    QMessageBox::NoButton,
                    parent);
    QPushButton* stop = box.addButton(QStringLiteral("中止して終了"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("続ける"), QMessageBox::RejectRole);
    box.setDefaultButton(stop);
    box.exec();
    return box.clickedButton() == stop;
}

// A drop card in a slot 4 pixels wider than the card.
QWidget* cardSlot(PdfDropCard* card) {
    auto* slot = new QWidget;
    auto* layout = new QHBoxLayout(slot);
    layout->setContentsMargins(0, 0, 4, 0);
    layout->addWidget(card);
    return slot;
}

// The left column's inputs in a scroll area of the column's width that scrolls vertically.
QWidget* inScrollArea(QWidget* inputs) {
    auto* scroll = named(QStringLiteral("inputScrollArea"), new InputScrollArea(LEFT_COLUMN_WIDTH));
    scroll->setContent(inputs);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Not a stop of its own: the focus goes to what it holds, which it scrolls into view.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setFixedWidth(LEFT_COLUMN_WIDTH);
    scroll->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Maximum);
    scroll->viewport()->setAutoFillBackground(false);
    inputs->setAutoFillBackground(false);
    return scroll;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    connectModelToDesktop();
    installAccessibility();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize content = contentSize(screen ? screen->availableGeometry().size() : QSize(1280, 800));
    setWindowTitle(mainWindowTitle());
    const QPixmap icon = resourceImage(QStringLiteral("AppIcon.png"));
    if (!icon.isNull()) QApplication::setWindowIcon(icon);

    QWidget* header = createHeader();
    QWidget* manualRow = createManualRow();
    QWidget* body = createBody();
    auto* root = new ColumnWidget;
    QVBoxLayout* rows = makeColumn(root, {header, manualRow, body});
    for (QWidget* row : {header, manualRow, body}) rows->setAlignment(row, {});
    rows->setStretchFactor(body, 1);

    auto* central = new QWidget;
    placeWithPadding(central, root, 16);
    central->setMinimumSize(900, 560);
    setCentralWidget(central);
    createMenus();
    setTabOrderAcrossTheWindow();
    resize(content.width(), content.height() + menuBar()->sizeHint().height());
    centreOnScreen(this);

    // Every change of the model reaches refresh() on a later turn of the event loop, so
    // that it sees the value that was being written.
    connect(&model_, &app::ProofModel::willChange, this, &MainWindow::refresh, Qt::QueuedConnection);
    connect(&model_.views(), &app::ComparedViews::drawn, this, &MainWindow::refresh, Qt::QueuedConnection);
    model_.refreshArchiveProjects();
    refresh();
}

// The model's ways into the desktop: the settings window, the file dialog, the question
// before quitting during a run.
void MainWindow::connectModelToDesktop() {
    askToStopRun = [this] { return askToStopTheRun(this); };
    model_.showSettingsWindow = [this] { showSettings(); };
    model_.chooseFiles = [this](const QString& caption) {
        QFileDialog dialog(this, caption);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setNameFilter(QStringLiteral("PDF (*.pdf *.PDF *.Pdf)"));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedUrls() : QList<QUrl>();
    };
}

// The left column (inputs above actions) beside the results.
QWidget* MainWindow::createBody() {
    auto* leftColumn = new ColumnWidget;
    QVBoxLayout* left = makeColumn(leftColumn, {createInputs(), createActions()});
    left->addStretch(1);  // below the actions
    leftColumn->setFixedWidth(LEFT_COLUMN_WIDTH);
    QWidget* rightColumn = createResults();

    auto* body = new QWidget;
    QHBoxLayout* bodyRow = makeRow(body, {leftColumn, rightColumn});
    bodyRow->setAlignment(leftColumn, {});
    bodyRow->setAlignment(rightColumn, {});
    bodyRow->setStretchFactor(rightColumn, 1);
    return body;
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::createHeader() {
    auto* logo = new QLabel;
    logo->setFixedSize(210, 44);
    logo->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const QPixmap logoImage = resourceImage(QStringLiteral("toplogo.png"));
    if (!logoImage.isNull())
        logo->setPixmap(logoImage.size().boundedTo(logo->size()) == logoImage.size()
                            ? logoImage
                            : logoImage.scaled(logo->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    QLabel* product = wrappingLabel(QStringLiteral("PDF PROOF"), 11);
    QLabel* local = wrappingLabel(QStringLiteral("このPC内だけで処理"), 11);
    for (QLabel* label : {product, local}) label->setWordWrap(false);
    QPushButton* settingsButton = button(QStringLiteral("settingsButton"), QStringLiteral("設定…"));
    connect(settingsButton, &QPushButton::clicked, this, [this] { model_.showSettings(); });
    auto* header = new QWidget;
    makeRow(header, {logo, product, spacer(), local, settingsButton});
    header->setFixedHeight(44);
    return header;
}

QWidget* MainWindow::createManualRow() {
    QPushButton* manual = button(QStringLiteral("manualButton"), QStringLiteral("マニュアル"));
    connect(manual, &QPushButton::clicked, this, [] {
        QDesktopServices::openUrl(QUrl(QStringLiteral("https://" TESMIRA_MANUAL_HOST "/app-manual/")));
    });
    auto* row = new QWidget;
    makeRow(row, {manual, spacer()});
    row->setFixedHeight(26);
    return row;
}

// The mode, the archive project, and the field and button that create one.
void MainWindow::createProjectControls() {
    modeCombo_ = named(QStringLiteral("modeCombo"), new QComboBox);
    modeCombo_->addItems({QStringLiteral("新旧PDFを指定"), QStringLiteral("保存版と比較")});
    connect(modeCombo_, &QComboBox::activated, this, &MainWindow::modeChanged);
    projectCombo_ = named(QStringLiteral("projectCombo"), new QComboBox);
    connect(projectCombo_, &QComboBox::activated, this, &MainWindow::projectChanged);
    projectCombo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    projectCombo_->setMinimumContentsLength(16);
    projectNameEdit_ = named(QStringLiteral("projectNameEdit"), new QLineEdit);
    projectNameEdit_->setPlaceholderText(QStringLiteral("新しい案件名"));
    createProjectButton_ = button(QStringLiteral("createProjectButton"), QStringLiteral("新しい案件を作成"));
    connect(createProjectButton_, &QPushButton::clicked, this, &MainWindow::createProject);
    projectHintLabel_ = named(
        QStringLiteral("projectHintLabel"),
        wrappingLabel(
            QStringLiteral("同じ案件・同じファイル名の最新原稿と比較します。別案件・別名の原稿は自動選択しません。"),
            11));
}

// The mode, the archive project, the two drop cards and the notes, in a scroll area.
QWidget* MainWindow::createInputs() {
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
QWidget* MainWindow::createActions() {
    startButton_ = button(QStringLiteral("startButton"), QStringLiteral("検版する"));
    connect(startButton_, &QPushButton::clicked, this, [this] { model_.start(false); });
    startButton_->setStyleSheet(QStringLiteral(
        "#startButton { font-weight: bold; font-size: 15px; color: palette(highlight); background: palette(button);"
        " border: 1px solid palette(mid); border-radius: 6px; }"
        "#startButton:pressed { background: palette(midlight); }"
        "#startButton:disabled { color: palette(mid); }"));
    startButton_->setFixedSize(LEFT_COLUMN_WIDTH, 38);
    baselineButton_ = button(QStringLiteral("baselineButton"), QStringLiteral("初回の原稿として保存（比較なし）"));
    connect(baselineButton_, &QPushButton::clicked, this, [this] { model_.start(true); });
    openArchiveButton_ = button(QStringLiteral("openArchiveButton"), QStringLiteral("保存版フォルダーを開く"));
    connect(openArchiveButton_, &QPushButton::clicked, this, &MainWindow::openArchiveFolder);
    resetButton_ = button(QStringLiteral("resetButton"), QStringLiteral("リセットして次の検版"));
    connect(resetButton_, &QPushButton::clicked, this, [this] { model_.reset(); });
    cancelButton_ = button(QStringLiteral("cancelButton"), QStringLiteral("中止する"));
    connect(cancelButton_, &QPushButton::clicked, this, [this] { model_.cancel(); });
    progressBar_ = named(QStringLiteral("progressBar"), new QProgressBar);
    progressBar_->setRange(0, 1000);
    progressBar_->setTextVisible(false);
    progressBar_->setFixedWidth(LEFT_COLUMN_WIDTH);
    statusLabel_ = named(QStringLiteral("statusLabel"), new LineLimitedLabel(4));

    auto* actions = named(QStringLiteral("actionsColumn"), new ColumnWidget);
    makeColumn(
        actions,
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
    actions->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    actions->setFixedWidth(LEFT_COLUMN_WIDTH);
    return actions;
}

// Previous and next result page, the strict comparison's switch, and the saved PDFs.
QWidget* MainWindow::createNavigation() {
    previousButton_ = button(QStringLiteral("previousButton"), QStringLiteral("前へ"));
    connect(previousButton_, &QPushButton::clicked, this, &MainWindow::showPrevious);
    nextButton_ = button(QStringLiteral("nextButton"), QStringLiteral("次へ"));
    connect(nextButton_, &QPushButton::clicked, this, &MainWindow::showNext);
    strictCheck_ = named(QStringLiteral("strictCheck"), new QCheckBox(QStringLiteral("厳密比較")));
    // toggled, not clicked: assistive technology toggles the box without a click.
    connect(strictCheck_, &QCheckBox::toggled, this, &MainWindow::refresh);
    QPushButton* reveal = button(QStringLiteral("revealButton"), QStringLiteral("保存したPDFを表示"));
    connect(reveal, &QPushButton::clicked, this, [this] { model_.reveal(); });
    auto* navigation = new QWidget;
    makeRow(navigation, {previousButton_, nextButton_, strictCheck_, reveal, spacer()});
    return navigation;
}

// The result navigation, the result title, the view bar, and the page list beside the preview
// of one result page.
QWidget* MainWindow::createResults() {
    QWidget* navigation = createNavigation();
    resultTitleLabel_ = named(QStringLiteral("resultTitleLabel"), new LineLimitedLabel(2));
    resultTitleLabel_->setFullText(QStringLiteral("検版結果"));
    preview_ = named(QStringLiteral("preview"), new ResultPreview);
    preview_->setMinimumSize(420, 200);
    preview_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    preview_->setAccessibleName(QStringLiteral("プレビュー"));
    connect(preview_, &PageView::zoomChanged, this, &MainWindow::refreshZoom);
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
    QWidget* viewBar = createViewBar();
    createPageList();

    auto* pages = new QWidget;
    QHBoxLayout* pagesRow = makeRow(pages, {pageList_, preview_});
    pagesRow->setAlignment(pageList_, {});
    pagesRow->setAlignment(preview_, {});
    pagesRow->setStretchFactor(preview_, 1);

    auto* results = new ColumnWidget;
    QVBoxLayout* column = makeColumn(results, {navigation, resultTitleLabel_, viewBar, pages});
    for (QWidget* widget : std::initializer_list<QWidget*>{navigation, viewBar, pages})
        column->setAlignment(widget, {});
    column->setStretchFactor(pages, 1);
    return results;
}

void MainWindow::createMenus() {
    QMenu* application = menuBar()->addMenu(QStringLiteral("てすみら"));
    QAction* settings = application->addAction(QStringLiteral("設定…"), this, &MainWindow::showSettings);
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setShortcutContext(Qt::ApplicationShortcut);
    QAction* quit = application->addAction(QStringLiteral("てすみらを終了"), this, &MainWindow::close);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::ApplicationShortcut);

    // The edit commands act on whichever text field has the focus.
    QMenu* edit = menuBar()->addMenu(QStringLiteral("編集"));
    const auto onFocusedField = [](auto command) {
        return [command] {
            if (auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget())) (field->*command)();
        };
    };
    edit->addAction(QStringLiteral("カット"), QKeySequence::Cut, onFocusedField(&QLineEdit::cut));
    edit->addAction(QStringLiteral("コピー"), QKeySequence::Copy, onFocusedField(&QLineEdit::copy));
    edit->addAction(QStringLiteral("ペースト"), QKeySequence::Paste, onFocusedField(&QLineEdit::paste));
    edit->addAction(QStringLiteral("すべてを選択"), QKeySequence::SelectAll, onFocusedField(&QLineEdit::selectAll));
    createRunMenu();
    createViewMenu();
}

void MainWindow::closeEvent(QCloseEvent* event) { event->setAccepted(mayClose()); }

bool MainWindow::mayClose() {
    if (!model_.running()) return true;
    if (asking_) return false;  // the question is already on screen
    asking_ = true;
    const bool stop = askToStopRun();
    asking_ = false;
    if (!stop) return false;
    // The worker gets SIGTERM and removes its partial folder itself; nobody waits for it.
    model_.cancel();
    return true;
}

void MainWindow::showSettings() {
    if (!settingsWindow_) {
        settingsWindow_ = std::make_unique<SettingsWindow>(model_);
        connect(settingsWindow_.get(), &SettingsWindow::defaultsRestored, this, &MainWindow::replaceSettingsWindow);
    }
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}

// A fresh window with the defaults takes the old one's place; the old one goes once control
// has left its button.
void MainWindow::replaceSettingsWindow() {
    settingsWindow_.release()->deleteLater();
    showSettings();
}

void MainWindow::createProject() {
    model_.setNewProjectName(projectNameEdit_->text());
    model_.createArchiveProject();
    projectNameEdit_->setText(model_.newProjectName());
}

void MainWindow::openArchiveFolder() {
    try {
        app::ArchiveLibrary::prepare(app::ArchiveLibrary::root());
    } catch (const std::exception& failure) {
        model_.setError(QString::fromUtf8(failure.what()));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(app::ArchiveLibrary::root()));
}

void MainWindow::showPrevious() {
    selected_ = std::max(selected_ - 1, 0);
    currentChange_.reset();
    refresh();
}

void MainWindow::showNext() {
    selected_ = std::max(0, std::min(selected_ + 1, int(model_.results().size()) - 1));
    currentChange_.reset();
    refresh();
}

QString mainWindowTitle() {
    return QStringLiteral("てすみら v") + QStringLiteral(TESMIRA_VERSION) + QStringLiteral("（") +
           QSysInfo::buildCpuArchitecture() + QStringLiteral("）");
}

QSize contentSize(QSize available) {
    return {std::min(available.width() - 32, 1080), std::min(available.height() - 64, 740)};
}

}  // namespace tesmira::ui
