// The main window's shell: the header, the manual row, the inputs beside the results, the
// menus built from the two parts' actions, the quit question and the settings window.
#include "app/ui/main_window.hpp"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSysInfo>

#include "app/model/desktop_notification.hpp"
#include "app/ui/accessibility.hpp"
#include "app/ui/inputs_panel.hpp"
#include "app/ui/results_pane.hpp"
#include "app/ui/settings_window.hpp"
#include "app/ui/widget_helpers.hpp"

namespace tesmira::ui {
namespace {

QPixmap resourceImage(const QString& name) { return QPixmap(QStringLiteral(":/resources/") + name); }

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

MainWindow::~MainWindow() = default;

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
    QPushButton* settings = namedButton(QStringLiteral("settingsButton"), QStringLiteral("設定…"));
    connect(settings, &QPushButton::clicked, this, [this] { model_.showSettings(); });
    settings->setFocusPolicy(Qt::TabFocus);  // a click leaves the keys where they were
    settingsButton_ = settings;
    auto* header = new QWidget;
    makeRow(header, {logo, product, spacer(), local, settings});
    header->setFixedHeight(44);
    return header;
}

QWidget* MainWindow::createManualRow() {
    QPushButton* manual = namedButton(QStringLiteral("manualButton"), QStringLiteral("マニュアル"));
    connect(manual, &QPushButton::clicked, this, [] {
        QDesktopServices::openUrl(QUrl(QStringLiteral("https://" TESMIRA_MANUAL_HOST "/app-manual/")));
    });
    manual->setFocusPolicy(Qt::TabFocus);
    manualButton_ = manual;
    auto* row = new QWidget;
    makeRow(row, {manual, spacer()});
    row->setFixedHeight(26);
    return row;
}

// The inputs beside the results.
QWidget* MainWindow::createBody() {
    inputs_ = new InputsPanel(model_);
    results_ = new ResultsPane(model_);
    auto* body = new QWidget;
    QHBoxLayout* bodyRow = makeRow(body, {inputs_, results_});
    bodyRow->setAlignment(inputs_, {});
    bodyRow->setAlignment(results_, {});
    bodyRow->setStretchFactor(results_, 1);
    return body;
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

    QMenu* run = menuBar()->addMenu(QStringLiteral("検版"));
    run->addActions({inputs_->addBeforeAction(), inputs_->addAfterAction()});
    run->addSeparator();
    run->addActions({inputs_->startAction(), inputs_->cancelAction()});

    QMenu* view = menuBar()->addMenu(QStringLiteral("表示"));
    for (const QList<QAction*>& group : results_->viewMenuGroups()) {
        if (!view->isEmpty()) view->addSeparator();
        view->addActions(group);
    }
}

// From the header over the left column to the results, top left to bottom right.
void MainWindow::setTabOrderAcrossTheWindow() {
    const QList<QWidget*> chain =
        QList<QWidget*>{settingsButton_, manualButton_} + inputs_->tabChain() + results_->tabChain();
    for (qsizetype i = 0; i + 1 < chain.size(); ++i) setTabOrder(chain[i], chain[i + 1]);
}

void MainWindow::refresh() {
    inputs_->refresh();
    results_->refresh();
    const bool running = model_.running();
    if (wasRunning_ && !running) runEnded();
    wasRunning_ = running;
}

// The keys go to the results; a run that ends while the operator works elsewhere is told, on
// the desktop and by the window asking for attention.
void MainWindow::runEnded() {
    if (!model_.results().isEmpty()) results_->focusPreview();
    if (isActiveWindow()) return;
    app::notifyDesktop(QStringLiteral("検版が終わりました"), inputs_->statusText());
    QApplication::alert(this);
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

QString mainWindowTitle() {
    return QStringLiteral("てすみら v") + QStringLiteral(TESMIRA_VERSION) + QStringLiteral("（") +
           QSysInfo::buildCpuArchitecture() + QStringLiteral("）");
}

QSize contentSize(QSize available) {
    return {std::min(available.width() - 32, 1080), std::min(available.height() - 64, 740)};
}

}  // namespace tesmira::ui
