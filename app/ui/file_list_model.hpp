#pragma once
// The rows of one side's file list.

#include <QAbstractListModel>
#include <QList>
#include <QUrl>

namespace tesmira::app {
class ProofModel;
}

namespace tesmira::ui {

// The proof model's list of one side as it was at the last reload: the file names, their
// paths as tool tips, rows of `rowHeight` pixels. The list view and assistive technology see
// the rows change only through this item model's own signals.
class FileListModel : public QAbstractListModel {
    Q_OBJECT

public:
    FileListModel(app::ProofModel& model, bool before, int rowHeight, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void reload();  // takes the proof model's current list
    const QList<QUrl>& urls() const { return urls_; }

private:
    app::ProofModel& model_;
    bool before_;
    int rowHeight_;
    QList<QUrl> urls_;
};

}  // namespace tesmira::ui
