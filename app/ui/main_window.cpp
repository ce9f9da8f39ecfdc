// The main window's construction: header, manual row, the input column on the left, the
// result column on the right, and the closures behind every button.
#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPdfView>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>

#include "app/model/archive_library.hpp"
#include "app/ui/accessibility.hpp"
#include "app/ui/control_kit.hpp"
#include "app/ui/delegate.hpp"
#include "app/ui/drop_card.hpp"

namespace tesmira::ui {

constexpr int LEFT_COLUMN_WIDTH = 300;

// A scroll area as tall as its content where the window allows, shrinking to 80 pixels
// where it does not; the content then scrolls.
class InputScrollArea : public QScrollArea {
    Q_OBJECT

public:
    void setContent(QWidget* content) {
        setWidget(content);
        content->installEventFilter(this);
    }
    // The content's height is known only once it has its width: ask the layout again then.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget() && (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Resize)) updateGeometry();
        return QScrollArea::eventFilter(watched, event);
    }
    QSize sizeHint() const override {
        return {LEFT_COLUMN_WIDTH, (widget() ? widget()->sizeHint().height() : 0) + 2 * frameWidth()};
    }
    QSize minimumSizeHint() const override { return {LEFT_COLUMN_WIDTH, 80}; }
};

namespace {

// Takes the free width of a row.
QWidget* spacer() {
    auto* space = new QWidget;
    space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return space;
}

QPixmap resourceImage(const QString& name) { return QPixmap(QStringLiteral(":/resources/") + name); }

}  // namespace

void DezaroziDelegate::createWindow(bool present) {
    installAccessibility();
    window = std::make_unique<QMainWindow>();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize content = contentSize(screen ? screen->availableGeometry().size() : QSize(1280, 800));
    window->setWindowTitle(windowTitle());
    const QPixmap icon = resourceImage(QStringLiteral("AppIcon.png"));
    if (!icon.isNull()) QApplication::setWindowIcon(icon);

    // Header.
    auto* logo = new QLabel;
    logo->setFixedSize(210, 44);
    logo->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const QPixmap logoImage = resourceImage(QStringLiteral("toplogo.png"));
    if (!logoImage.isNull())
        logo->setPixmap(logoImage.size().boundedTo(logo->size()) == logoImage.size()
                            ? logoImage
                            : logoImage.scaled(logo->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    QLabel* product = legacyLabel(QStringLiteral("PDF PROOF"), 11);
    QLabel* local = legacyLabel(QStringLiteral("このPC内だけで処理"), 11);
    for (QLabel* label : {product, local}) label->setWordWrap(false);
    auto* settingsButton = new LegacyButton(QStringLiteral("設定…"), [this] { model.showSettings(); });
    QWidget* header = legacyStack({logo, product, spacer(), local, settingsButton}, true);
    header->setFixedHeight(44);

    auto* manual = new LegacyButton(QStringLiteral("マニュアル"), [] {
        QDesktopServices::openUrl(QUrl(QStringLiteral("https://" TESMIRA_MANUAL_HOST "/app-manual/")));
    });
    QWidget* manualRow = legacyStack({manual, spacer()}, true);
    manualRow->setFixedHeight(26);

    // Input column.
    mode->addItems({QStringLiteral("新旧PDFを指定"), QStringLiteral("保存版と比較")});
    connect(mode, &QComboBox::activated, this, &DezaroziDelegate::modeChanged);
    connect(projects, &QComboBox::activated, this, &DezaroziDelegate::projectChanged);
    projects->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    projects->setMinimumContentsLength(16);
    name->setPlaceholderText(QStringLiteral("新しい案件名"));
    createProject = new LegacyButton(QStringLiteral("新しい案件を作成"), [this] {
        model.setNewProjectName(name->text());
        model.createArchiveProject();
        name->setText(model.newProjectName());
    });
    beforeCard = new DezaroziDropCard(model, true);
    afterCard = new DezaroziDropCard(model, false);
    // The cards are 4 pixels narrower than the column that holds them.
    const auto cardSlot = [](DezaroziDropCard* card) {
        auto* slot = new QWidget;
        auto* layout = new QHBoxLayout(slot);
        layout->setContentsMargins(0, 0, 4, 0);
        layout->addWidget(card);
        return slot;
    };
    QWidget* inputStack = legacyStack({legacyLabel(QStringLiteral("比較する原稿"), 16), mode, projects, name, createProject,
                                       projectHint, cardSlot(beforeCard), cardSlot(afterCard),
                                       legacyLabel(QStringLiteral("複数PDFは同じファイル名同士、各PDFは同じページ番号同士で比較します。ページの入替には対応しません。"), 11),
                                       settingsSummary},
                                      false, true);
    auto* stackLayout = static_cast<QBoxLayout*>(inputStack->layout());
    for (QWidget* slot : {beforeCard->parentWidget(), afterCard->parentWidget()}) stackLayout->setAlignment(slot, {});
    // The hidden old card must not leave its slot's margin behind.
    beforeCard->parentWidget()->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    auto* inputScroll = new InputScrollArea;
    inputScroll->setContent(inputStack);
    inputScroll->setWidgetResizable(true);
    inputScroll->setFrameShape(QFrame::NoFrame);
    inputScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    inputScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    inputScroll->setFixedWidth(LEFT_COLUMN_WIDTH);
    inputScroll->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Maximum);
    inputScroll->viewport()->setAutoFillBackground(false);
    inputStack->setAutoFillBackground(false);

    startButton = new LegacyButton(QStringLiteral("検版する"), [this] { model.start(false); });
    startButton->setObjectName(QStringLiteral("startButton"));
    startButton->setStyleSheet(QStringLiteral(
        "#startButton { font-weight: bold; font-size: 15px; color: palette(highlight); background: palette(button);"
        " border: 1px solid palette(mid); border-radius: 6px; }"
        "#startButton:pressed { background: palette(midlight); }"
        "#startButton:disabled { color: palette(mid); }"));
    startButton->setFixedSize(LEFT_COLUMN_WIDTH, 38);
    baseline = new LegacyButton(QStringLiteral("初回の原稿として保存（比較なし）"), [this] { model.start(true); });
    openArchive = new LegacyButton(QStringLiteral("保存版フォルダーを開く"), [this] {
        try {
            app::ArchiveLibrary::prepare(app::ArchiveLibrary::root());
        } catch (const std::exception& failure) {
            model.setError(QString::fromUtf8(failure.what()));
            return;
        }
        QDesktopServices::openUrl(QUrl::fromLocalFile(app::ArchiveLibrary::root()));
    });
    resetButton = new LegacyButton(QStringLiteral("リセットして次の検版"), [this] { model.reset(); });
    cancelButton = new LegacyButton(QStringLiteral("中止する"), [this] { model.cancel(); });
    progress->setRange(0, 1000);
    progress->setTextVisible(false);
    progress->setFixedWidth(LEFT_COLUMN_WIDTH);
    QWidget* actions = legacyStack({startButton, baseline, openArchive, resetButton, cancelButton, progress, status,
                                    legacyLabel(QStringLiteral("保存先：ダウンロード / てすみら検版_日時\n親フォルダー1つにPDFのみ。複数ページは原稿ごとにまとめます。"), 11)});
    actions->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    actions->setFixedWidth(LEFT_COLUMN_WIDTH);

    QWidget* leftColumn = legacyStack({inputScroll, actions});
    static_cast<QBoxLayout*>(leftColumn->layout())->addStretch(1);  // below the actions
    leftColumn->setFixedWidth(LEFT_COLUMN_WIDTH);

    // Result column.
    previous = new LegacyButton(QStringLiteral("前へ"), [this] {
        selected = std::max(selected - 1, 0);
        refresh();
    });
    next = new LegacyButton(QStringLiteral("次へ"), [this] {
        selected = std::min(selected + 1, int(model.results().size()) - 1);
        refresh();
    });
    // toggled, not clicked: assistive technology toggles the box without a click.
    connect(strict, &QCheckBox::toggled, this, &DezaroziDelegate::previewChanged);
    auto* reveal = new LegacyButton(QStringLiteral("保存したPDFを表示"), [this] { model.reveal(); });
    QWidget* navigation = legacyStack({previous, next, strict, reveal, spacer()}, true);
    pdf->setPageMode(QPdfView::PageMode::SinglePage);
    pdf->setZoomMode(QPdfView::ZoomMode::FitInView);
    pdf->setDocumentMargins(QMargins());
    pdf->setPageSpacing(0);
    // The whole page always fits: scroll bars would only take width from it.
    pdf->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pdf->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pdf->setMinimumSize(420, 200);
    pdf->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    emptyPreview->setAlignment(Qt::AlignCenter);
    emptyPreview->setForegroundRole(QPalette::PlaceholderText);
    auto* overlay = new QVBoxLayout(pdf->viewport());
    overlay->setContentsMargins(16, 0, 16, 0);
    overlay->addWidget(emptyPreview, 0, Qt::AlignVCenter);
    QWidget* rightColumn = legacyStack({navigation, resultTitle, pdf});
    for (QWidget* view : std::initializer_list<QWidget*>{navigation, pdf}) static_cast<QBoxLayout*>(rightColumn->layout())->setAlignment(view, {});
    static_cast<QBoxLayout*>(rightColumn->layout())->setStretchFactor(pdf, 1);

    QWidget* body = legacyStack({leftColumn, rightColumn}, true);
    auto* bodyLayout = static_cast<QBoxLayout*>(body->layout());
    bodyLayout->setAlignment(leftColumn, {});
    bodyLayout->setAlignment(rightColumn, {});
    bodyLayout->setStretchFactor(rightColumn, 1);

    QWidget* root = legacyStack({header, manualRow, body});
    auto* rootLayout = static_cast<QBoxLayout*>(root->layout());
    for (QWidget* row : {header, manualRow, body}) rootLayout->setAlignment(row, {});
    rootLayout->setStretchFactor(body, 1);

    auto* central = new QWidget;
    legacyMount(root, central, 16);
    central->setMinimumSize(900, 560);
    window->setCentralWidget(central);
    installMenu();
    window->resize(content.width(), content.height() + window->menuBar()->sizeHint().height());
    centreOnScreen(window.get());
    window->installEventFilter(this);
    if (present) {
        window->show();
        window->raise();
        window->activateWindow();
    }

    // Every change of the model reaches refresh() on a later turn of the event loop, so
    // that it sees the value that was being written.
    connect(&model, &app::ProofModel::willChange, this, &DezaroziDelegate::refresh, Qt::QueuedConnection);
    model.refreshArchiveProjects();
    refresh();
}

void DezaroziDelegate::installMenu() {
    QMenuBar* bar = window->menuBar();
    QMenu* application = bar->addMenu(QStringLiteral("てすみら"));
    QAction* settings = application->addAction(QStringLiteral("設定…"), this, &DezaroziDelegate::showSettings);
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setShortcutContext(Qt::ApplicationShortcut);
    QAction* quitAction = application->addAction(QStringLiteral("てすみらを終了"), this, &DezaroziDelegate::quit);
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitAction->setShortcutContext(Qt::ApplicationShortcut);

    // The edit commands act on whichever text field has the focus.
    QMenu* edit = bar->addMenu(QStringLiteral("編集"));
    const auto onFocusedField = [](auto command) {
        return [command] {
            if (auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget())) (field->*command)();
        };
    };
    edit->addAction(QStringLiteral("カット"), QKeySequence::Cut, onFocusedField(&QLineEdit::cut));
    edit->addAction(QStringLiteral("コピー"), QKeySequence::Copy, onFocusedField(&QLineEdit::copy));
    edit->addAction(QStringLiteral("ペースト"), QKeySequence::Paste, onFocusedField(&QLineEdit::paste));
    edit->addAction(QStringLiteral("すべてを選択"), QKeySequence::SelectAll, onFocusedField(&QLineEdit::selectAll));
}

}  // namespace tesmira::ui

#include "main_window.moc"
