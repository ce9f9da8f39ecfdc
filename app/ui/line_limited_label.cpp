#include "app/ui/line_limited_label.hpp"

#include <QResizeEvent>
#include <QTextLayout>

#include "app/ui/widget_helpers.hpp"

#include <algorithm>

namespace tesmira::ui {

LineLimitedLabel::LineLimitedLabel(int lines, int size, QWidget* parent) : QLabel(parent), lines_(lines) {
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    QFont font = this->font();
    font.setPixelSize(size);
    setFont(font);
    setSizePolicy(wrappingPolicy());
}

void LineLimitedLabel::setFullText(const QString& text) {
    if (text == text_) return;  // no relayout for the same text
    text_ = text;
    // A screen reader reads the text as it is, not as it is wrapped and cut on screen.
    setAccessibleName(text);
    setText(elided(width()));
    updateGeometry();
}

// The text as it wraps at `width`, its last allowed line ending in "…" when more follows.
// Only what the allowed lines can show is laid out, however long the text: a message of a
// million characters costs no more than one of a few lines.
QString LineLimitedLabel::elided(int width) const {
    // No line of `width` pixels holds more characters than it has pixels, but for marks and
    // other characters without width, which are cut here too.
    const qsizetype reach = qsizetype(lines_ + 1) * std::max(width, 80);
    QStringList lines;
    bool more = false;
    for (qsizetype at = 0; at <= text_.size() && !more;) {
        qsizetype end = text_.indexOf(QLatin1Char('\n'), at);
        if (end < 0) end = text_.size();
        const QString paragraph = text_.mid(at, std::min(end - at, reach));
        more = end - at > reach;
        at = end + 1;
        if (paragraph.isEmpty() || width <= 0) {
            lines.append(paragraph);
        } else {
            QTextLayout layout(paragraph, font());
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(width);
                lines.append(paragraph.mid(line.textStart(), line.textLength()));
                if (lines.size() > lines_) break;
            }
            layout.endLayout();
        }
        if (lines.size() > lines_) more = true;
    }
    if (!more) return lines.join(QLatin1Char('\n'));
    lines = lines.mid(0, lines_);
    const QString last = lines.last().trimmed() + QStringLiteral("…");
    lines.last() = width > 0 ? QFontMetrics(font()).elidedText(last, Qt::ElideRight, width) : last;
    return lines.join(QLatin1Char('\n'));
}

int LineLimitedLabel::heightForWidth(int width) const {
    // Measured on the laid-out text, so that lines set in a fallback font (Japanese in a
    // Latin system font) count with their own height.
    QString shown = elided(width);
    if (shown.isEmpty()) shown = QStringLiteral(" ");
    const QRect box = QFontMetrics(font()).boundingRect(
        QRect(0, 0, std::max(width, 1), 100000), Qt::TextWordWrap | int(alignment() & Qt::AlignHorizontal_Mask), shown);
    return box.height() + 2 * margin() + contentsMargins().top() + contentsMargins().bottom();
}

QSize LineLimitedLabel::sizeHint() const {
    const QSize hint = QLabel::sizeHint();
    return {hint.width(), heightForWidth(width() > 0 ? width() : hint.width())};
}

QSize LineLimitedLabel::minimumSizeHint() const {
    return {0, heightForWidth(width() > 0 ? width() : sizeHint().width())};
}

void LineLimitedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    const QString shown = elided(width());
    if (shown != text()) setText(shown);
}

}  // namespace tesmira::ui
