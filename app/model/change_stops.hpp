#pragma once
// The changes of a run, in the order the operator steps through them: page after page, and on
// a page in reading order. The worker lists them; from a worker that does not, they are the
// regions' boxes grouped by the worker's rule (common/change_groups.hpp), so that an edited word
// is one stop and not one per letter.

#include <QList>
#include <QRect>

#include "app/model/records.hpp"

namespace tesmira::app {

struct ChangeStop {
    qsizetype result = 0;  // index of the page in the results
    PageChange change;     // its box on the result page; its place and words when the worker gave them

    friend bool operator==(const ChangeStop&, const ChangeStop&) = default;
};

// Every change of `results`, drawn at `dpi`.
QList<ChangeStop> changeStops(const QList<ProofPage>& results, qint64 dpi);

}  // namespace tesmira::app
