#pragma once
// What every start of the desktop program sets up on the application object before the
// first window: its names, Qt's own texts in the desktop's language, and quitting.

class QLocale;

namespace tesmira::ui {

// Call once, right after the QApplication exists.
void setUpApplication();

// The program's name and version, also for a QCoreApplication (--help and --version).
void setApplicationNames();

// Loads Qt's own translations ("qtbase", for its file dialog and standard buttons) for
// `locale` from Qt's translations folder; false when there are none for it.
bool installQtTranslations(const QLocale& locale);

}  // namespace tesmira::ui
