#pragma once
// The changes of the last run as an item model, one row per change in stepping order: the
// window lists them beside the result pages, and assistive technology reads each row as one
// sentence. Rows change only by a reset, when the results do.

#include <QAbstractListModel>
#include <QList>

#include "app/model/change_stops.hpp"
#include "app/model/records.hpp"

namespace tesmira::app {

class ChangeList : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        SourceRole = Qt::UserRole + 1,  // the source document's name
        PageRole,                       // "2ページ"
        PlaceRole,                      // "190.5, 79.1 mm"; "" when the worker gave no place
        WordsRole,                      // "「1,280」→「1,290」"; "" where there are no words
    };

    explicit ChangeList(QObject* parent = nullptr);

    // The changes of `results`, drawn at `dpi`, in place of the last ones.
    void setResults(const QList<ProofPage>& results, qint64 dpi);

    const QList<ChangeStop>& stops() const { return stops_; }
    const ChangeStop& stop(qsizetype row) const { return stops_[row]; }
    // The result page of a row.
    const ProofPage& page(qsizetype row) const { return results_[stops_[row].result]; }
    // Whether the run compared more than one source document.
    bool severalSources() const { return severalSources_; }

    // The number of changes on result page `result`: those listed and those the worker left out.
    qint64 changesOnPage(qsizetype result) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    // The display text is the whole row as one sentence; the tool tip adds the old and the new
    // words in full.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QList<ProofPage> results_;
    QList<ChangeStop> stops_;
    QList<qint64> counts_;  // by result page
    bool severalSources_ = false;
};

// Where a change is on the page: "190.5, 79.1 mm" from the trim box's top left; "" when not known.
QString placeText(const PageChange& change);

// What changed in words: "「1,280」→「1,290」", "「週末の」を削除", "「新」を追加", the words
// under the change in brackets where they are the same on both pages, "" where there are none.
QString wordsText(const PageChange& change);

}  // namespace tesmira::app
