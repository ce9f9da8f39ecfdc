#pragma once
// The changes of a run, in the order the operator steps through them: page after page, and on
// a page from top to bottom. Regions a few millimetres apart are one change (the rule of
// common/change_groups.hpp), so that an edited word is one stop and not one per letter.

#include <QList>
#include <QRect>

#include "app/model/records.hpp"

namespace tesmira::app {

struct ChangeStop {
    qsizetype result = 0;  // index of the page in the results
    QRect area;            // the change's regions together, in pixels of the result page

    friend bool operator==(const ChangeStop&, const ChangeStop&) = default;
};

// Every change of `results`, drawn at `dpi`.
QList<ChangeStop> changeStops(const QList<ProofPage>& results, qint64 dpi);

}  // namespace tesmira::app
