#include "app/ui/accessibility.hpp"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAbstractScrollArea>

namespace tesmira::ui {
namespace {

QAccessibleInterface* scrollAreaInterface(const QString& className, QObject* object) {
    if (className != QLatin1String("tesmira::ui::InputScrollArea") && className != QLatin1String("QPdfView")) return nullptr;
    auto* area = qobject_cast<QAbstractScrollArea*>(object);
    return area ? new QAccessibleWidget(area, QAccessible::Pane) : nullptr;
}

}  // namespace

void installAccessibility() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(scrollAreaInterface);
}

}  // namespace tesmira::ui
