#include "app/ui/drop_card.hpp"

#include <QBoxLayout>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QPointer>

#include <algorithm>

#include "app/model/file_names.hpp"
#include "app/model/proof_model.hpp"
#include "app/ui/control_kit.hpp"

namespace tesmira::ui {

FileListModel::FileListModel(app::ProofModel& model, bool before, QObject* parent)
    : QAbstractListModel(parent), model_(model), before_(before) {}

int FileListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(urls_.size()); }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= urls_.size()) return {};
    const QUrl& url = urls_[index.row()];
    switch (role) {
        case Qt::DisplayRole:
            return app::lastPathComponent(url);
        case Qt::ToolTipRole:
            return app::filePath(url);
        case Qt::SizeHintRole:
            return QSize(-1, DezaroziDropCard::ROW_HEIGHT);
        default:
            return {};
    }
}

void FileListModel::reload() {
    const QList<QUrl>& current = before_ ? model_.before() : model_.after();
    if (current == urls_) return;
    // Replaced through the item model's signals, never by deleting row widgets or by rows
    // that vanish unannounced, so that assistive technology never holds a row that is gone.
    beginResetModel();
    urls_ = current;
    endResetModel();
}

QList<QUrl> droppedFiles(const QMimeData* data) {
    QList<QUrl> files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (app::isLocalFileUrl(url)) files.append(url);
    return files;
}

DezaroziDropCard::DezaroziDropCard(app::ProofModel& model, bool before, QWidget* parent)
    : QFrame(parent), model_(model), before_(before) {
    setObjectName(QStringLiteral("dropCard"));
    setStyleSheet(QStringLiteral("#dropCard { border: 1px solid palette(mid); border-radius: 12px; background: palette(base); }"));
    setAcceptDrops(true);

    table = new QListView;
    rows_ = new FileListModel(model, before, this);
    table->setModel(rows_);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setUniformItemSizes(true);
    table->setFrameShape(QFrame::NoFrame);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setTextElideMode(Qt::ElideMiddle);
    QFont rowFont = table->font();
    rowFont.setPixelSize(11);
    table->setFont(rowFont);
    table->setFixedHeight(0);

    count = legacyLabel(QString(), 13);
    count->setWordWrap(false);
    add = new LegacyButton(before ? QStringLiteral("A\u3000変更前のPDFを追加…") : QStringLiteral("B\u3000変更後のPDFを追加…"),
                           [&model, before] { model.choose(before); });
    QPointer<DezaroziDropCard> self(this);
    remove = new LegacyButton(QStringLiteral("選択を外す"), [self] {
        if (!self) return;
        const QList<QUrl>& urls = self->rows_->urls();  // the rows as they are shown
        QModelIndexList selected = self->table->selectionModel()->selectedRows();
        std::sort(selected.begin(), selected.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
        // Collected first: rows shift while they are removed.
        QList<QUrl> chosen;
        for (const QModelIndex& index : selected)
            if (index.row() < urls.size()) chosen.append(urls[index.row()]);
        for (const QUrl& url : chosen) self->model_.remove(url, self->before_);
    });
    clear = new LegacyButton(QStringLiteral("すべて外す"), [&model, before] { model.remove(std::nullopt, before); });

    QLabel* hint = legacyLabel(QStringLiteral("PDFをまとめてドラッグ、またはクリックで追加"), 11);
    QWidget* buttons = legacyStack({count, remove, clear}, true);
    buttons->layout()->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding));
    QWidget* column = legacyStack({add, hint, table, buttons});
    // The list is exactly as wide as the card's column.
    static_cast<QBoxLayout*>(column->layout())->setAlignment(table, {});
    legacyMount(column, this, 8);
}

void DezaroziDropCard::refresh() {
    rows_->reload();
    const qsizetype n = (before_ ? model_.before() : model_.after()).size();
    count->setText(QString::number(n) + QStringLiteral("件"));
    table->setVisible(n > 0);
    table->setFixedHeight(int(std::min<qsizetype>(n * ROW_HEIGHT, 3 * ROW_HEIGHT)));
    count->setVisible(n > 0);
    remove->setVisible(n > 0);
    clear->setVisible(n > 0);
    const bool idle = !model_.running();
    add->setEnabled(idle);
    remove->setEnabled(idle);
    clear->setEnabled(idle);
}

bool DezaroziDropCard::accepts(const QList<QUrl>& urls) const {
    if (model_.running() || urls.isEmpty()) return false;
    return std::all_of(urls.begin(), urls.end(), app::isPdfFileUrl);
}

void DezaroziDropCard::dragEnterEvent(QDragEnterEvent* event) {
    if (accepts(droppedFiles(event->mimeData()))) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void DezaroziDropCard::dragMoveEvent(QDragMoveEvent* event) {
    // What the drag showed when it entered holds while it moves over the card.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void DezaroziDropCard::dropEvent(QDropEvent* event) {
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
