#include "app/ui/command_line.hpp"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

#include <cstdio>
#include <cstring>

#include "app/model/proof_model.hpp"

namespace tesmira::ui {
namespace {

const QString BEFORE = QStringLiteral("before"), AFTER = QStringLiteral("after");

// The parser with the program's options; `help` and `version` for the two standard ones.
struct Parser {
    QCommandLineParser parser;
    QCommandLineOption help, version;

    Parser() : help(parser.addHelpOption()), version(parser.addVersionOption()) {
        parser.setApplicationDescription(
            QStringLiteral("Compares the old and the new version of print-ready PDFs page by page and outlines each "
                           "change in red.\nOpens the window with the files given added to the old and the new side."));
        parser.addOption(
            {BEFORE, QStringLiteral("Adds FILE and the files after it to the old side."), QStringLiteral("FILE")});
        parser.addOption(
            {AFTER, QStringLiteral("Adds FILE and the files after it to the new side."), QStringLiteral("FILE")});
        parser.addPositionalArgument(
            QStringLiteral("OLD.pdf"), QStringLiteral("The old PDF."), QStringLiteral("[OLD.pdf"));
        parser.addPositionalArgument(
            QStringLiteral("NEW.pdf"), QStringLiteral("The new PDF."), QStringLiteral("NEW.pdf]"));
        parser.addPositionalArgument(QStringLiteral("FILE.pdf"),
                                     QStringLiteral("One PDF, or more than two: added to the first side without "
                                                    "files, the old one, then the new one."),
                                     QStringLiteral("[FILE.pdf...]"));
    }
};

bool isListOption(const QString& argument) {
    for (const QString& name : {BEFORE, AFTER})
        if (argument == QStringLiteral("--") + name || argument == u'-' + name) return true;
    return false;
}

// "--before A B" as "--before A --before B": the parser takes one value an option.
QStringList withListsSpelledOut(const QStringList& arguments) {
    QStringList spelled;
    QString list;              // the list option whose values follow, if any
    bool listHasValue = true;  // a list option without a value gets an empty one, refused below
    const auto endList = [&] {
        if (!listHasValue) spelled << list + u'=';
        list.clear();
        listHasValue = true;
    };
    for (const QString& argument : arguments) {
        const bool option = argument.startsWith(u'-') && argument != u"-";
        if (option) endList();
        if (isListOption(argument)) {
            list = argument;
            listHasValue = false;
        } else if (!option && !list.isEmpty()) {
            spelled << list << argument;
            listHasValue = true;
        } else {
            spelled << argument;
        }
    }
    endList();
    return spelled;
}

QList<QUrl> fileUrls(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    return urls;
}

void refuse(const QString& message) {
    const QString program = QCoreApplication::applicationName();
    std::fprintf(stderr,
                 "%s: %s\nTry '%s --help' for more information.\n",
                 qPrintable(program),
                 qPrintable(message),
                 qPrintable(program));
}

}  // namespace

bool asksForHelpOrVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) return false;
        for (const char* option : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
            if (std::strcmp(argv[i], option) == 0) return true;
    }
    return false;
}

void showHelpOrVersion(const QStringList& arguments) {
    Parser parser;
    parser.parser.process(arguments);  // prints and exits for --help and --version
    std::exit(0);
}

std::optional<StartFiles> readCommandLine(const QStringList& arguments) {
    Parser parser;
    if (!parser.parser.parse(withListsSpelledOut(arguments))) {
        refuse(parser.parser.errorText());
        return std::nullopt;
    }
    StartFiles files = openedFiles(parser.parser.positionalArguments());
    files.before.append(parser.parser.values(BEFORE));
    files.after.append(parser.parser.values(AFTER));
    if (files.before.contains(QString()) || files.after.contains(QString())) {
        refuse(QStringLiteral("--before and --after need at least one FILE"));
        return std::nullopt;
    }
    return files;
}

StartFiles openedFiles(const QStringList& paths) {
    if (paths.size() == 2) return {{paths[0]}, {paths[1]}, {}};
    return {{}, {}, paths};
}

void addStartFiles(app::ProofModel& model, const StartFiles& files) {
    // Both sides are added; the first refusal stays shown, as a later side's success would
    // otherwise clear it before anyone could read it.
    std::optional<QString> refusal;
    for (const auto& [paths, beforeSide] : {std::pair{files.before, true}, std::pair{files.after, false}}) {
        if (paths.isEmpty()) continue;
        model.select(fileUrls(paths), beforeSide);
        if (!refusal) refusal = model.error();
    }
    if (!files.eitherSide.isEmpty()) {
        model.selectOnEmptySide(fileUrls(files.eitherSide));
        if (!refusal) refusal = model.error();
    }
    if (refusal) model.setError(refusal);
}

}  // namespace tesmira::ui
