#include "app/ui/accessibility.hpp"

#include <QAccessible>
#include <QAccessibleWidget>

#include "app/ui/input_scroll_area.hpp"
#include "app/ui/page_view.hpp"

namespace tesmira::ui {
namespace {

QAccessibleInterface* scrollAreaInterface(const QString&, QObject* object) {
    if (!qobject_cast<InputScrollArea*>(object) && !qobject_cast<PageView*>(object)) return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Pane);
}

}  // namespace

void installAccessibility() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(scrollAreaInterface);
}

}  // namespace tesmira::ui
