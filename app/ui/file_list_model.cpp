#include "app/ui/file_list_model.hpp"

#include <QSize>

#include "app/model/file_names.hpp"
#include "app/model/proof_model.hpp"

namespace tesmira::ui {

FileListModel::FileListModel(app::ProofModel& model, bool before, int rowHeight, QObject* parent)
    : QAbstractListModel(parent), model_(model), before_(before), rowHeight_(rowHeight) {}

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
            return QSize(-1, rowHeight_);
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

}  // namespace tesmira::ui
