#include "app/ui/application.hpp"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace tesmira::ui {

void setApplicationNames() {
    QCoreApplication::setApplicationName(QStringLiteral("tesmira"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESMIRA_VERSION));
}

void setUpApplication() {
    setApplicationNames();
    QApplication::setDesktopFileName(QStringLiteral("tesmira"));
    // No display name: on X11 Qt would append it to every window title.
    installQtTranslations(QLocale::system());
    // Closing the main window ends the application; it asks first while a run is going.
    QApplication::setQuitOnLastWindowClosed(true);
}

bool installQtTranslations(const QLocale& locale) {
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!translator->load(
            locale, QStringLiteral("qtbase"), QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    // The application object owns it from here on.
    return QCoreApplication::installTranslator(translator.release());
}

}  // namespace tesmira::ui
