#pragma once
// One side's file list: the chosen PDFs of the old ("変更前") or the new ("変更後") side, with
// buttons to add, remove and clear, and PDF files dropped on it. Everything it shows is read
// from the model; every change goes to the model.

#include <QAbstractListModel>
#include <QFrame>
#include <QList>
#include <QUrl>

namespace tesmira::app {
class ProofModel;
}

class QLabel;
class QListView;

namespace tesmira::ui {

class LegacyButton;

// The rows of one side: the proof model's list as it was at the last reload. The list view
// and assistive technology see the rows change only through the item model's own signals.
class FileListModel : public QAbstractListModel {
    Q_OBJECT

public:
    FileListModel(app::ProofModel& model, bool before, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void reload();  // takes the proof model's current list
    const QList<QUrl>& urls() const { return urls_; }

private:
    app::ProofModel& model_;
    bool before_;
    QList<QUrl> urls_;
};

class DezaroziDropCard : public QFrame {
    Q_OBJECT

public:
    static constexpr int ROW_HEIGHT = 26;

    DezaroziDropCard(app::ProofModel& model, bool before, QWidget* parent = nullptr);

    // Shows the model's current list and run state.
    void refresh();

    // The drop test: a drag is taken only when no run is going and it carries file URLs,
    // every one of them ending in ".pdf" in any letter case.
    bool accepts(const QList<QUrl>& urls) const;

    QListView* table;
    QLabel* count;
    LegacyButton* add;
    LegacyButton* remove;
    LegacyButton* clear;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    app::ProofModel& model_;
    bool before_;
    FileListModel* rows_;
};

// The file URLs of a drag, none when it carries anything else.
QList<QUrl> droppedFiles(const class QMimeData* data);

}  // namespace tesmira::ui
