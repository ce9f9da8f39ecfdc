#pragma once
// The desktop program's command line:
//   tesmira [OLD.pdf NEW.pdf] [--before FILE...] [--after FILE...]
// --help and --version print and exit without a display.
#include <QStringList>

#include <optional>

namespace tesmira::app {
class ProofModel;
}

namespace tesmira::ui {

// The files to add to the old and the new side when the window opens.
struct StartFiles {
    QStringList before, after;
};

// Whether the arguments ask only for the help or the version, which need no display.
bool asksForHelpOrVersion(int argc, char** argv);

// Prints the help or the version and exits 0; needs a QCoreApplication, no display.
[[noreturn]] void showHelpOrVersion(const QStringList& arguments);

// The files the arguments name (the application's arguments, Qt's own options taken out);
// nothing after printing the refusal of a wrong command line to standard error (exit 2).
// "--before A B --after C" gives lists, as the worker's own command line does.
std::optional<StartFiles> readCommandLine(const QStringList& arguments);

// Adds the files to their sides as if they were dropped on the cards, with the same checks;
// a path relative to the working folder is taken from it. A refusal's message stays shown.
void addStartFiles(app::ProofModel& model, const StartFiles& files);

}  // namespace tesmira::ui
