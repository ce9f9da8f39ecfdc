#pragma once
// The application's side of the saved-version archive: the archive folder in the user's
// home folder, the projects in it, and the creation of a new project.

#include <QList>
#include <QString>

#include "app/model/records.hpp"
#include "common/errors.hpp"

namespace tesmira::app {

// A refusal of the archive library, with its code (1 to 8) beside the user message.
class ArchiveError : public UserError {
public:
    ArchiveError(int code, const std::string& message) : UserError(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

class ArchiveLibrary {
public:
    ArchiveLibrary() = delete;

    // The home folder + "てすみら保存版"; computing it touches no file.
    static QString root();

    // Makes sure the folder is a real folder of this user with mode 0700, creating it (but no
    // parent) when it is missing.
    static void prepare(const QString& folder);

    // Prepares the folder and reads every project in it, sorted by name. One broken project
    // fails the whole listing.
    static QList<ArchiveProject> projects(const QString& folder);

    // Creates a project under the exclusive lock of ".projects.lock" and returns it.
    static ArchiveProject create(const QString& name, const QString& folder = root());
};

}  // namespace tesmira::app
