#include "app/model/change_stops.hpp"

#include <algorithm>
#include <cmath>

namespace tesmira::app {
namespace {

// The regions grouped: boxes with at most `gap` pixels between them, directly or through
// others, become one area.
QList<QRect> grouped(QList<QRect> areas, int gap) {
    bool merged = true;
    while (merged) {
        merged = false;
        for (qsizetype i = 0; i < areas.size() && !merged; ++i)
            for (qsizetype j = i + 1; j < areas.size(); ++j) {
                if (!areas[i].adjusted(-gap - 1, -gap - 1, gap + 1, gap + 1).intersects(areas[j])) continue;
                areas[i] |= areas[j];
                areas.removeAt(j);
                merged = true;
                break;
            }
    }
    return areas;
}

// The changes of a page whose report lists only its regions' boxes (the first 200): each area
// of grouped boxes, with the number of boxes in it, top to bottom and then left to right.
QList<PageChange> groupedChanges(const QList<QRect>& boxes, int gap) {
    QList<QRect> areas = grouped(boxes, gap);
    std::sort(areas.begin(), areas.end(), [](const QRect& a, const QRect& b) {
        return std::pair(a.top(), a.left()) < std::pair(b.top(), b.left());
    });
    QList<PageChange> changes;
    for (const QRect& area : areas) {
        PageChange change;
        change.box = area;
        // Grouped areas do not meet, so each box lies in exactly one.
        change.regions =
            std::count_if(boxes.begin(), boxes.end(), [&](const QRect& box) { return area.contains(box); });
        changes.append(change);
    }
    return changes;
}

}  // namespace

QList<ChangeStop> changeStops(const QList<ProofPage>& results, qint64 dpi) {
    const int gap = int(std::lround(CHANGE_GAP_MM / 25.4 * double(std::max<qint64>(dpi, 1))));
    QList<ChangeStop> stops;
    for (qsizetype index = 0; index < results.size(); ++index) {
        const ProofPage& page = results[index];
        for (const PageChange& change : page.changes ? *page.changes : groupedChanges(page.boxes, gap))
            stops.append({index, change});
    }
    return stops;
}

}  // namespace tesmira::app
