#pragma once
// The few building blocks the windows share: a push button that runs a stored closure,
// stacks with the same spacing and alignment everywhere, pinning a view inside another,
// wrapping labels, and a label that keeps to a number of lines.

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <initializer_list>

namespace tesmira::ui {

// A push button whose action is a closure; the closure may be replaced, and the next press
// runs the new one.
class LegacyButton : public QPushButton {
    Q_OBJECT

public:
    LegacyButton(const QString& title, std::function<void()> invoke, QWidget* parent = nullptr);
    std::function<void()> invoke;

private:
    void fire();
};

// Views in a row (centred vertically) or a column (at the left edge, labels and text fields
// as wide as the column so that they wrap there, everything else at most as wide), 10
// pixels apart, without margins. A document stack starts at the top of a scroll area.
QWidget* legacyStack(std::initializer_list<QWidget*> views, bool horizontal = false, bool document = false);

// Puts `view` into `container`, `padding` pixels from every edge.
void legacyMount(QWidget* view, QWidget* container, int padding = 16);

// Places a window in the middle of the primary screen's free area.
void centreOnScreen(QWidget* window);

// A wrapping label in the system font at `size` pixels.
QLabel* legacyLabel(const QString& text, int size = 13);

// A wrapping label that shows at most `lines` lines and cuts the rest with "…"; its tool tip
// is left to the caller.
class LineLimitedLabel : public QLabel {
    Q_OBJECT

public:
    LineLimitedLabel(int lines, int size = 13, QWidget* parent = nullptr);
    void setFullText(const QString& text);
    const QString& fullText() const { return text_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QString elided(int width) const;
    QString text_;
    int lines_;
};

}  // namespace tesmira::ui
