#include "app/ui/zoom_controls.hpp"

#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QLineEdit>
#include <QToolButton>

#include <cmath>

#include "app/ui/page_view.hpp"
#include "app/ui/widget_helpers.hpp"

namespace tesmira::ui {
namespace {

QString percentText(double percent) { return QString::number(std::lround(percent)) + QLatin1Char('%'); }

}  // namespace

ZoomControls::ZoomControls(PageView& view, QWidget* parent) : QWidget(parent), view_(view) {
    zoomOutButton_ = namedToolButton(QStringLiteral("zoomOutButton"), QStringLiteral("−"), QStringLiteral("縮小"));
    connect(zoomOutButton_, &QToolButton::clicked, &view_, &PageView::zoomOut);
    zoomCombo_ = named(QStringLiteral("zoomCombo"), new QComboBox);
    zoomCombo_->setAccessibleName(QStringLiteral("表示倍率"));
    zoomCombo_->setEditable(true);
    zoomCombo_->setInsertPolicy(QComboBox::NoInsert);
    zoomCombo_->addItem(QStringLiteral("ページ全体"));
    zoomCombo_->addItem(QStringLiteral("幅に合わせる"));
    for (int percent : {25, 50, 75, 100, 150, 200, 300, 400, 800, 1600}) zoomCombo_->addItem(percentText(percent));
    zoomCombo_->setMinimumContentsLength(7);
    connect(zoomCombo_, &QComboBox::activated, this, &ZoomControls::applyTypedZoom);
    connect(zoomCombo_->lineEdit(), &QLineEdit::returnPressed, this, &ZoomControls::applyTypedZoom);
    zoomInButton_ = namedToolButton(QStringLiteral("zoomInButton"), QStringLiteral("+"), QStringLiteral("拡大"));
    connect(zoomInButton_, &QToolButton::clicked, &view_, &PageView::zoomIn);
    makeRow(this, {zoomOutButton_, zoomCombo_, zoomInButton_});
    connect(&view_, &PageView::zoomChanged, this, &ZoomControls::refresh);
    createActions();
}

void ZoomControls::createActions() {
    const auto action = [this](const char* name, const QString& text, const QList<QKeySequence>& keys, auto slot) {
        auto* made = new QAction(text, this);
        made->setObjectName(QString::fromLatin1(name));
        made->setShortcuts(keys);
        connect(made, &QAction::triggered, &view_, slot);
        addAction(made);
        actions_.append(made);
        return made;
    };
    QAction* in = action("zoomInAction",
                         QStringLiteral("拡大"),
                         {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
                         &PageView::zoomIn);
    QAction* out =
        action("zoomOutAction", QStringLiteral("縮小"), {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, &PageView::zoomOut);
    action("actualSizeAction", QStringLiteral("実際のサイズ"), {QKeySequence(Qt::CTRL | Qt::Key_1)}, [this] {
        view_.setZoomPercent(100);
    });
    action(
        "fitPageAction", QStringLiteral("ページ全体を表示"), {QKeySequence(Qt::CTRL | Qt::Key_0)}, &PageView::fitPage);
    action("fitWidthAction", QStringLiteral("幅に合わせる"), {QKeySequence(Qt::CTRL | Qt::Key_2)}, &PageView::fitWidth);
    zoomInButton_->setToolTip(withShortcuts(in->text(), {in->shortcuts().first()}));
    zoomOutButton_->setToolTip(withShortcuts(out->text(), out->shortcuts()));
}

void ZoomControls::refresh() {
    const bool shown = view_.pageSize().isValid() && !view_.pageSize().isEmpty();
    for (QWidget* control : std::initializer_list<QWidget*>{zoomOutButton_, zoomCombo_, zoomInButton_})
        control->setEnabled(shown);
    for (QAction* action : actions_) action->setEnabled(shown);
    if (!zoomCombo_->lineEdit()->hasFocus())
        zoomCombo_->setEditText(shown ? percentText(view_.zoomPercent()) : QString());
}

QList<QWidget*> ZoomControls::tabChain() const { return {zoomOutButton_, zoomCombo_, zoomInButton_}; }

void ZoomControls::applyTypedZoom() {
    const QString text = zoomCombo_->currentText().trimmed();
    bool number = false;
    const double percent = QString(text).remove(QLatin1Char('%')).trimmed().toDouble(&number);
    if (text == zoomCombo_->itemText(0))
        view_.fitPage();
    else if (text == zoomCombo_->itemText(1))
        view_.fitWidth();
    else if (number && percent > 0)
        view_.setZoomPercent(percent);
    view_.setFocus();
    refresh();
}

}  // namespace tesmira::ui
