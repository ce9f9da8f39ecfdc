#include "app/model/change_list.hpp"

#include <QSet>

namespace tesmira::app {
namespace {

QString quoted(const QString& words) { return QStringLiteral("「") + words + QStringLiteral("」"); }

QString millimetres(double value) { return QString::number(value, 'f', 1); }

}  // namespace

ChangeList::ChangeList(QObject* parent) : QAbstractListModel(parent) {}

void ChangeList::setResults(const QList<ProofPage>& results, qint64 dpi) {
    beginResetModel();
    results_ = results;
    stops_ = changeStops(results, dpi);
    counts_ = QList<qint64>(results.size(), 0);
    for (const ChangeStop& stop : stops_) ++counts_[stop.result];
    QSet<QString> sources;
    for (qsizetype i = 0; i < results.size(); ++i) {
        counts_[i] += results[i].changesLeftOut;
        sources.insert(results[i].sourceName);
    }
    severalSources_ = sources.size() > 1;
    endResetModel();
}

qint64 ChangeList::changesOnPage(qsizetype result) const { return counts_.value(result, 0); }

int ChangeList::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(stops_.size()); }

QVariant ChangeList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= stops_.size()) return {};
    const PageChange& change = stops_[index.row()].change;
    const ProofPage& page = results_[stops_[index.row()].result];
    switch (role) {
        case SourceRole:
            return page.sourceName;
        case PageRole:
            return QString::number(page.page) + QStringLiteral("ページ");
        case PlaceRole:
            return placeText(change);
        case WordsRole:
            return wordsText(change);
        case Qt::DisplayRole: {
            QStringList parts{page.sourceName + QLatin1Char(' ') + QString::number(page.page) +
                              QStringLiteral("ページ")};
            for (const QString& part : {placeText(change), wordsText(change)})
                if (!part.isEmpty()) parts.append(part);
            return parts.join(QStringLiteral("\u3000"));
        }
        case Qt::ToolTipRole: {
            QString tip = data(index, Qt::DisplayRole).toString();
            if (!change.boxMm.isEmpty())
                tip += QStringLiteral("\n大きさ: ") + millimetres(change.boxMm.width()) + QStringLiteral(" × ") +
                       millimetres(change.boxMm.height()) + QStringLiteral(" mm");
            if (!change.oldText.isEmpty()) tip += QStringLiteral("\n変更前: ") + change.oldText;
            if (!change.newText.isEmpty()) tip += QStringLiteral("\n変更後: ") + change.newText;
            return tip;
        }
        default:
            return {};
    }
}

QString placeText(const PageChange& change) {
    if (change.boxMm.isEmpty()) return {};
    return millimetres(change.boxMm.left()) + QStringLiteral(", ") + millimetres(change.boxMm.top()) +
           QStringLiteral(" mm");
}

QString wordsText(const PageChange& change) {
    if (!change.oldSpan.isEmpty() && !change.newSpan.isEmpty())
        return quoted(change.oldSpan) + QStringLiteral("→") + quoted(change.newSpan);
    if (!change.oldSpan.isEmpty()) return quoted(change.oldSpan) + QStringLiteral("を削除");
    if (!change.newSpan.isEmpty()) return quoted(change.newSpan) + QStringLiteral("を追加");
    const QString& words = change.newText.isEmpty() ? change.oldText : change.newText;
    return words.isEmpty() ? QString() : quoted(words);
}

}  // namespace tesmira::app
