#include "app/ui/change_list_view.hpp"

#include <QApplication>
#include <QPainter>
#include <QStyledItemDelegate>

#include "app/model/proof_model.hpp"
#include "app/ui/change_crops.hpp"

namespace tesmira::ui {
namespace {

constexpr int PADDING = 6;  // around a row's content
constexpr int GAP = 4;      // between its lines
constexpr int ARROW = 20;   // the room for "→" between the two crops

using Crops = ChangeCrops::Crops;

// A row: the page and the place on the first line, the crops of the old and the new page below
// it, and the words last. Every row is as tall, so that a long list costs nothing to lay out.
class ChangeRowDelegate : public QStyledItemDelegate {
public:
    ChangeRowDelegate(ChangeCrops& crops, const app::ChangeList& list, QObject* parent)
        : QStyledItemDelegate(parent), crops_(crops), list_(list) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return {option.rect.width(),
                2 * PADDING + 2 * option.fontMetrics.height() + 2 * GAP + ChangeCrops::SIZE.height()};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem panel = option;
        initStyleOption(&panel, index);
        panel.text.clear();
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &panel, painter, widget);  // the background and the selection

        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& palette = option.palette;
        const QColor text = palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        const QColor quiet = selected ? text : palette.color(QPalette::PlaceholderText);
        const QRect area = option.rect.adjusted(PADDING, PADDING, -PADDING, -PADDING);
        const QFontMetrics& metrics = option.fontMetrics;
        const int line = metrics.height();
        painter->save();

        QString where = index.data(app::ChangeList::PageRole).toString();
        if (list_.severalSources())
            where = index.data(app::ChangeList::SourceRole).toString() + QStringLiteral("・") + where;
        const QString place = index.data(app::ChangeList::PlaceRole).toString();
        // The place whole where it fits; the page, and the source's name before it, give way first.
        const int placeWidth =
            place.isEmpty()
                ? 0
                : std::min(metrics.horizontalAdvance(place) + 2,  // with the rounding of its letters
                           area.width() - GAP - std::min(metrics.horizontalAdvance(where), area.width() / 3));
        painter->setPen(text);
        painter->drawText(QRect(area.left(), area.top(), area.width() - placeWidth - GAP, line),
                          Qt::AlignLeft | Qt::AlignVCenter,
                          metrics.elidedText(where, Qt::ElideMiddle, area.width() - placeWidth - GAP));
        painter->setPen(quiet);
        painter->drawText(QRect(area.right() - placeWidth + 1, area.top(), placeWidth, line),
                          Qt::AlignRight | Qt::AlignVCenter,
                          metrics.elidedText(place, Qt::ElideLeft, placeWidth));

        const Crops crops = crops_.crops(index.row());
        const QRect before(QPoint(area.left(), area.top() + line + GAP), ChangeCrops::SIZE);
        const QRect after = before.translated(ChangeCrops::SIZE.width() + ARROW, 0);
        drawCrop(*painter, before, crops.state, crops.before, palette, quiet);
        drawCrop(*painter, after, crops.state, crops.after, palette, quiet);
        painter->setPen(text);
        painter->drawText(
            QRect(before.right() + 1, before.top(), ARROW, before.height()), Qt::AlignCenter, QStringLiteral("→"));

        const QString words = index.data(app::ChangeList::WordsRole).toString();
        painter->drawText(QRect(area.left(), before.bottom() + 1 + GAP, area.width(), line),
                          Qt::AlignLeft | Qt::AlignVCenter,
                          metrics.elidedText(words, Qt::ElideRight, area.width()));
        painter->setPen(palette.color(QPalette::Midlight));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());  // between the rows
        painter->restore();
    }

private:
    // A crop in a thin frame; an empty frame while it is cut, a dash where there is none.
    static void drawCrop(QPainter& painter, const QRect& frame, Crops::State state, const QImage& image,
                         const QPalette& palette, const QColor& quiet) {
        painter.fillRect(frame, state == Crops::State::Ready ? QColor(Qt::white) : palette.color(QPalette::Window));
        if (state == Crops::State::Ready && !image.isNull()) {
            QRect target(QPoint(), image.deviceIndependentSize().toSize());
            target.moveCenter(frame.center());
            painter.drawImage(target, image);
        } else if (state == Crops::State::Missing) {
            painter.setPen(quiet);
            painter.drawText(frame, Qt::AlignCenter, QStringLiteral("—"));
        }
        painter.setPen(palette.color(QPalette::Mid));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
    }

    ChangeCrops& crops_;
    const app::ChangeList& list_;
};

}  // namespace

ChangeListView::ChangeListView(app::ProofModel& model, QWidget* parent)
    : QListView(parent), model_(model), crops_(new ChangeCrops(model, this)) {
    setModel(&model.changes());
    setItemDelegate(new ChangeRowDelegate(*crops_, model.changes(), this));
    setAccessibleName(QStringLiteral("変更の一覧"));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(crops_, &ChangeCrops::cut, viewport(), qOverload<>(&QWidget::update));
}

ChangeListView::~ChangeListView() = default;

void ChangeListView::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    if (model()->rowCount() > 0 || model_.results().isEmpty()) return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(viewport()->rect().adjusted(PADDING, PADDING, -PADDING, -PADDING),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     QStringLiteral("変更はありません"));
}

}  // namespace tesmira::ui
