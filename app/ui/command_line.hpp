#pragma once
// The desktop program's command line:
//   tesmira [OLD.pdf NEW.pdf | FILE.pdf...] [--before FILE...] [--after FILE...]
// --help and --version print and exit without a display.
#include <QStringList>

#include <optional>

namespace tesmira::app {
class ProofModel;
}

namespace tesmira::ui {

// The files to add to the old and the new side when the window opens, and those for the first
// side without files.
struct StartFiles {
    QStringList before, after, eitherSide;
    bool isEmpty() const { return before.isEmpty() && after.isEmpty() && eitherSide.isEmpty(); }
};

// Files opened without a side, as the command line and the desktop give them: two are the old
// and the new PDF; one, or more than two, go to the first side without files.
StartFiles openedFiles(const QStringList& paths);

// Whether the arguments ask only for the help or the version, which need no display.
bool asksForHelpOrVersion(int argc, char** argv);

// Prints the help or the version and exits 0; needs a QCoreApplication, no display.
[[noreturn]] void showHelpOrVersion(const QStringList& arguments);

// The files the arguments name (the application's arguments, Qt's own options taken out);
// nothing after printing the refusal of a wrong command line to standard error (exit 2).
// "--before A B --after C" gives lists, as the worker's own command line does.
std::optional<StartFiles> readCommandLine(const QStringList& arguments);

// Adds the files to their sides as if they were dropped on the cards, with the same checks,
// `eitherSide` last; a path relative to the working folder is taken from it. The first
// refusal's message stays shown in the window's status.
void addStartFiles(app::ProofModel& model, const StartFiles& files);

}  // namespace tesmira::ui
