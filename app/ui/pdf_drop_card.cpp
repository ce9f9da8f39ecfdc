#include "app/ui/pdf_drop_card.hpp"

#include <QBoxLayout>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QPushButton>

#include <algorithm>

#include "app/model/file_names.hpp"
#include "app/model/proof_model.hpp"
#include "app/ui/file_list_model.hpp"
#include "app/ui/widget_helpers.hpp"

namespace tesmira::ui {

QList<QUrl> droppedFiles(const QMimeData* data) {
    QList<QUrl> files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (app::isLocalFileUrl(url)) files.append(url);
    return files;
}

PdfDropCard::PdfDropCard(app::ProofModel& model, app::Side side, QWidget* parent)
    : QFrame(parent), model_(model), before_(side == app::Side::before) {
    const bool before = before_;
    setObjectName(before ? QStringLiteral("beforeCard") : QStringLiteral("afterCard"));
    setStyleSheet(
        QStringLiteral("#%1 { border: 1px solid palette(mid); border-radius: 12px; background: palette(base); }")
            .arg(objectName()));
    setAcceptDrops(true);

    fileList_ = new QListView;
    fileList_->setObjectName(QStringLiteral("fileList"));
    rows_ = new FileListModel(model, before, ROW_HEIGHT, this);
    fileList_->setModel(rows_);
    fileList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fileList_->setUniformItemSizes(true);
    fileList_->setFrameShape(QFrame::NoFrame);
    fileList_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    fileList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fileList_->setTextElideMode(Qt::ElideMiddle);
    QFont rowFont = fileList_->font();
    rowFont.setPixelSize(11);
    fileList_->setFont(rowFont);
    fileList_->setFixedHeight(0);

    countLabel_ = wrappingLabel(QString(), 13);
    countLabel_->setObjectName(QStringLiteral("countLabel"));
    countLabel_->setWordWrap(false);
    addButton_ = new QPushButton(before ? QStringLiteral("A\u3000変更前のPDFを追加…")
                                        : QStringLiteral("B\u3000変更後のPDFを追加…"));
    addButton_->setObjectName(QStringLiteral("addButton"));
    connect(addButton_, &QPushButton::clicked, this, [this] { model_.choose(before_); });
    removeButton_ = new QPushButton(QStringLiteral("選択を外す"));
    removeButton_->setObjectName(QStringLiteral("removeButton"));
    connect(removeButton_, &QPushButton::clicked, this, &PdfDropCard::removeSelected);
    clearButton_ = new QPushButton(QStringLiteral("すべて外す"));
    clearButton_->setObjectName(QStringLiteral("clearButton"));
    connect(clearButton_, &QPushButton::clicked, this, [this] { model_.remove(std::nullopt, before_); });

    QLabel* hint = wrappingLabel(QStringLiteral("PDFをまとめてドラッグ、またはクリックで追加"), 11);
    auto* buttons = new QWidget;
    makeRow(buttons, {countLabel_, removeButton_, clearButton_})->addStretch();
    auto* column = new ColumnWidget;
    // The list is exactly as wide as the card's column.
    makeColumn(column, {addButton_, hint, fileList_, buttons})->setAlignment(fileList_, {});
    placeWithPadding(this, column, 8);
}

void PdfDropCard::removeSelected() {
    const QList<QUrl>& urls = rows_->urls();  // the rows as they are shown
    QModelIndexList selected = fileList_->selectionModel()->selectedRows();
    std::sort(
        selected.begin(), selected.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    // Collected first: rows shift while they are removed.
    QList<QUrl> chosen;
    for (const QModelIndex& index : selected)
        if (index.row() < urls.size()) chosen.append(urls[index.row()]);
    for (const QUrl& url : chosen) model_.remove(url, before_);
}

void PdfDropCard::refresh() {
    rows_->reload();
    const qsizetype n = (before_ ? model_.before() : model_.after()).size();
    countLabel_->setText(QString::number(n) + QStringLiteral("件"));
    fileList_->setVisible(n > 0);
    fileList_->setFixedHeight(int(std::min<qsizetype>(n * ROW_HEIGHT, 3 * ROW_HEIGHT)));
    countLabel_->setVisible(n > 0);
    removeButton_->setVisible(n > 0);
    clearButton_->setVisible(n > 0);
    const bool idle = !model_.running();
    addButton_->setEnabled(idle);
    removeButton_->setEnabled(idle);
    clearButton_->setEnabled(idle);
}

bool PdfDropCard::accepts(const QList<QUrl>& urls) const {
    if (model_.running() || urls.isEmpty()) return false;
    return std::all_of(urls.begin(), urls.end(), app::isPdfFileUrl);
}

void PdfDropCard::dragEnterEvent(QDragEnterEvent* event) {
    if (accepts(droppedFiles(event->mimeData()))) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void PdfDropCard::dragMoveEvent(QDragMoveEvent* event) {
    // What the drag showed when it entered holds while it moves over the card.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void PdfDropCard::dropEvent(QDropEvent* event) {
    // Tested again: the run may have started since the drag entered.
    const QList<QUrl> urls = droppedFiles(event->mimeData());
    if (!accepts(urls)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    model_.select(urls, before_);
}

}  // namespace tesmira::ui
