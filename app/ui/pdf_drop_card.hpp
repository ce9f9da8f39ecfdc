#pragma once
// One side's file list: the chosen PDFs of the old ("変更前") or the new ("変更後") side, with
// buttons to add, remove and clear, and PDF files dropped on it. Everything it shows is read
// from the proof model; every change goes to the proof model.

#include <QFrame>
#include <QList>
#include <QUrl>

class QLabel;
class QListView;
class QMimeData;
class QPushButton;

namespace tesmira::app {
class ProofModel;
enum class Side;
}  // namespace tesmira::app

namespace tesmira::ui {

class FileListModel;

class PdfDropCard : public QFrame {
    Q_OBJECT

public:
    static constexpr int ROW_HEIGHT = 26;

    PdfDropCard(app::ProofModel& model, app::Side side, QWidget* parent = nullptr);

    // Shows the model's current list and run state.
    void refresh();

    // The drop test: a drag is taken only when no run is going and it carries file URLs,
    // every one of them ending in ".pdf" in any letter case.
    bool accepts(const QList<QUrl>& urls) const;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void removeSelected();

    app::ProofModel& model_;
    bool before_;  // the side, as the model's calls take it
    FileListModel* rows_;
    QListView* fileList_;
    QLabel* countLabel_;
    QPushButton* addButton_;
    QPushButton* removeButton_;
    QPushButton* clearButton_;
};

// The local file URLs of a drag, none when it carries anything else.
QList<QUrl> droppedFiles(const QMimeData* data);

}  // namespace tesmira::ui
