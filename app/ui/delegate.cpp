#include "app/ui/delegate.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPdfDocument>
#include <QPdfView>
#include <QProgressBar>
#include <QPushButton>
#include <QSysInfo>

#include "app/ui/control_kit.hpp"
#include "app/ui/settings_window.hpp"

namespace tesmira::ui {

DezaroziDelegate::DezaroziDelegate()
    : mode(new QComboBox),
      projects(new QComboBox),
      name(new QLineEdit),
      status(new LineLimitedLabel(4)),
      resultTitle(new LineLimitedLabel(2)),
      pdf(new QPdfView),
      progress(new QProgressBar),
      emptyPreview(legacyLabel(QStringLiteral("新旧PDFをドラッグして、検版を開始\n\n変更なしは薄く、変更箇所は赤い輪郭で表示します。"), 13)),
      projectHint(legacyLabel(QStringLiteral("同じ案件・同じファイル名の最新原稿と比較します。別案件・別名の原稿は自動選択しません。"), 11)),
      settingsSummary(legacyLabel(QString(), 11)),
      strict(new QCheckBox(QStringLiteral("厳密比較"))) {
    resultTitle->setFullText(QStringLiteral("検版結果"));
    askToStopRun = [this] {
        QMessageBox box(QMessageBox::Question, QString(), QStringLiteral("検版を中止して終了しますか？"), QMessageBox::NoButton,
                        window.get());
        QPushButton* stop = box.addButton(QStringLiteral("中止して終了"), QMessageBox::AcceptRole);
        box.addButton(QStringLiteral("続ける"), QMessageBox::RejectRole);
        box.setDefaultButton(stop);
        box.exec();
        return box.clickedButton() == stop;
    };
    model.showSettingsWindow = [this] { DezaroziSettings::show(model); };
    model.chooseFiles = [this](const QString& caption) {
        QFileDialog dialog(window.get(), caption);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setNameFilter(QStringLiteral("PDF (*.pdf *.PDF *.Pdf)"));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedUrls() : QList<QUrl>();
    };
}

DezaroziDelegate::~DezaroziDelegate() {
    DezaroziSettings::discard();
    pdf->setDocument(nullptr);  // the document goes before the view
    // Controls that were never placed into the window have no parent to delete them.
    for (QWidget* control : std::initializer_list<QWidget*>{mode, projects, name, status, resultTitle, pdf, progress,
                                                            emptyPreview, projectHint, settingsSummary, strict})
        if (!control->parent()) delete control;
}

bool DezaroziDelegate::shouldQuit() {
    if (!model.running()) return true;
    if (asking_) return false;  // the question is already on screen
    asking_ = true;
    const bool stop = askToStopRun();
    asking_ = false;
    if (!stop) return false;
    // The worker gets SIGTERM and removes its partial folder itself; nobody waits for it.
    model.cancel();
    return true;
}

// Through the window's close, so that the menu, the shortcut and the close button ask one
// question in one place; the application ends when its last window has closed.
void DezaroziDelegate::quit() {
    if (window) window->close();
}

void DezaroziDelegate::showSettings() { model.showSettings(); }

bool DezaroziDelegate::eventFilter(QObject* watched, QEvent* event) {
    // Closing the main window quits the application, through the same question.
    if (window && watched == window.get() && event->type() == QEvent::Close) {
        event->setAccepted(shouldQuit());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

QString windowTitle() {
    return QStringLiteral("てすみら v") + QStringLiteral(TESMIRA_VERSION) + QStringLiteral("（") +
           QSysInfo::buildCpuArchitecture() + QStringLiteral("）");
}

QSize contentSize(QSize available) {
    return {std::min(available.width() - 32, 1080), std::min(available.height() - 64, 740)};
}

}  // namespace tesmira::ui
