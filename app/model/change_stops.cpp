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

}  // namespace

QList<ChangeStop> changeStops(const QList<ProofPage>& results, qint64 dpi) {
    const int gap = int(std::lround(CHANGE_GAP_MM / 25.4 * double(std::max<qint64>(dpi, 1))));
    QList<ChangeStop> stops;
    for (qsizetype index = 0; index < results.size(); ++index) {
        QList<QRect> areas = grouped(results[index].boxes, gap);
        std::sort(areas.begin(), areas.end(), [](const QRect& a, const QRect& b) {
            return std::pair(a.top(), a.left()) < std::pair(b.top(), b.left());
        });
        for (const QRect& area : areas) stops.append({index, area});
    }
    return stops;
}

}  // namespace tesmira::app
