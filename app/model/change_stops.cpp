#include "app/model/change_stops.hpp"

#include <vector>

#include "common/change_groups.hpp"

namespace tesmira::app {

QList<ChangeStop> changeStops(const QList<ProofPage>& results, qint64 dpi) {
    const int gap = change_gap_pixels(double(dpi));
    QList<ChangeStop> stops;
    for (qsizetype index = 0; index < results.size(); ++index) {
        std::vector<PixelBox> boxes;
        for (const QRect& box : results[index].boxes) boxes.push_back({box.x(), box.y(), box.width(), box.height()});
        for (const BoxGroup& change : group_changes(boxes, gap))
            stops.append({index, QRect(change.box.x, change.box.y, change.box.width, change.box.height)});
    }
    return stops;
}

}  // namespace tesmira::app
