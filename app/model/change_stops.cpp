#include "app/model/change_stops.hpp"

#include <vector>

#include "common/change_groups.hpp"

namespace tesmira::app {
namespace {

// The changes of a page whose report lists only its regions' boxes (the first 200), grouped by
// the worker's rule, with the number of boxes in each.
QList<PageChange> groupedChanges(const QList<QRect>& boxes, int gap) {
    std::vector<PixelBox> pixels;
    for (const QRect& box : boxes) pixels.push_back({box.x(), box.y(), box.width(), box.height()});
    QList<PageChange> changes;
    for (const BoxGroup& group : group_changes(pixels, gap)) {
        PageChange change;
        change.box = QRect(group.box.x, group.box.y, group.box.width, group.box.height);
        change.regions = group.members;
        changes.append(change);
    }
    return changes;
}

}  // namespace

QList<ChangeStop> changeStops(const QList<ProofPage>& results, qint64 dpi) {
    const int gap = change_gap_pixels(double(dpi));
    QList<ChangeStop> stops;
    for (qsizetype index = 0; index < results.size(); ++index) {
        const ProofPage& page = results[index];
        for (const PageChange& change : page.changes ? *page.changes : groupedChanges(page.boxes, gap))
            stops.append({index, change});
    }
    return stops;
}

}  // namespace tesmira::app
