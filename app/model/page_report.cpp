#include "app/model/page_report.hpp"

#include <algorithm>
#include <cmath>

#include "app/model/json_fields.hpp"

namespace tesmira::app {
namespace {

// Larger than any page the worker draws, small enough for a QRect.
constexpr qint64 COORDINATE_LIMIT = qint64(1) << 20;

bool fits(std::optional<qint64> value) { return value && *value >= 0 && *value < COORDINATE_LIMIT; }

// A box of positive size on the result page, `band` pixels below where the report has it.
std::optional<QRect> boxBelowBand(std::optional<qint64> x, std::optional<qint64> y, std::optional<qint64> width,
                                  std::optional<qint64> height, qint64 band) {
    if (!fits(x) || !fits(y) || !fits(width) || !fits(height) || *width == 0 || *height == 0) return std::nullopt;
    return QRect(int(*x), int(*y + band), int(*width), int(*height));
}

QList<QRect> regionBoxes(const Json& report, qint64 band) {
    QList<QRect> boxes;
    const auto list = report.find("boxes");
    if (list == report.end() || !list->is_array()) return boxes;
    for (const Json& box : *list) {
        if (!box.is_object()) continue;
        const auto below = boxBelowBand(
            integerAt(box, "x"), integerAt(box, "y"), integerAt(box, "width"), integerAt(box, "height"), band);
        if (below) boxes.append(*below);
    }
    return boxes;
}

// [x, y, width, height] in pixels.
std::optional<QRect> changeBox(const Json& change, qint64 band) {
    const auto box = change.find("box");
    if (box == change.end() || !box->is_array() || box->size() != 4) return std::nullopt;
    return boxBelowBand(signed_integer((*box)[0]),
                        signed_integer((*box)[1]),
                        signed_integer((*box)[2]),
                        signed_integer((*box)[3]),
                        band);
}

// [left, top, width, height] in millimetres; empty when it is not four finite numbers.
QRectF changeBoxMm(const Json& change) {
    const auto box = change.find("box_mm");
    if (box == change.end() || !box->is_array() || box->size() != 4) return {};
    double values[4];
    for (std::size_t i = 0; i < 4; ++i) {
        if (!(*box)[i].is_number()) return {};
        values[i] = (*box)[i].get<double>();
        if (!std::isfinite(values[i])) return {};
    }
    return QRectF(values[0], values[1], values[2], values[3]);
}

std::optional<QList<PageChange>> pageChanges(const Json& report, qint64 band) {
    const auto list = report.find("changes");
    if (list == report.end() || !list->is_array()) return std::nullopt;
    QList<PageChange> changes;
    for (const Json& change : *list) {
        if (!change.is_object()) continue;
        const std::optional<QRect> box = changeBox(change, band);
        if (!box) continue;
        changes.append({*box,
                        changeBoxMm(change),
                        std::max<qint64>(integerAt(change, "regions").value_or(0), 0),
                        stringAt(change, "old_text").value_or(QString()),
                        stringAt(change, "new_text").value_or(QString()),
                        stringAt(change, "old_span").value_or(QString()),
                        stringAt(change, "new_span").value_or(QString())});
    }
    return changes;
}

}  // namespace

std::optional<ProofPage> resultRow(const Json& report) {
    const auto page = integerAt(report, "page");
    const auto file = stringAt(report, "file");
    if (!page || !file) return std::nullopt;
    const qint64 band = std::clamp<qint64>(integerAt(report, "header_height").value_or(0), 0, COORDINATE_LIMIT);
    ProofPage row{stringAt(report, "source_name").value_or(QString()),
                  *page,
                  *file,
                  stringAt(report, "strict_file"),
                  integerAt(report, "regions").value_or(0),
                  numberAt(report, "changed_percent").value_or(0),
                  regionBoxes(report, band),
                  isTrue(report, "boxes_truncated")};
    row.headerHeight = band;
    row.changes = pageChanges(report, band);
    row.changesLeftOut = std::max<qint64>(integerAt(report, "changes_left_out").value_or(0), 0);
    return row;
}

}  // namespace tesmira::app
