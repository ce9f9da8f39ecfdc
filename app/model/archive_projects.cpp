// The archive projects as the model shows them: the listing and the creation of a project.
#include <exception>

#include "app/model/archive_library.hpp"
#include "app/model/proof_model.hpp"

namespace tesmira::app {
namespace {

QString description(const std::exception& failure) { return QString::fromUtf8(failure.what()); }

}  // namespace

void ProofModel::refreshArchiveProjects() {
    try {
        publish(archiveProjects_, ArchiveLibrary::projects(ArchiveLibrary::root()));
    } catch (const std::exception& failure) {
        setError(description(failure));
    }
}

void ProofModel::createArchiveProject() {
    if (running_) return;
    ArchiveProject project;
    try {
        project = ArchiveLibrary::create(newProjectName_);
    } catch (const std::exception& failure) {
        setError(description(failure));
        return;
    }
    refreshArchiveProjects();
    publish(archiveProjectID_, project.id);
    publish(newProjectName_, QString());
    publish(error_, {});
    publish(status_, QStringLiteral("案件を作成しました。最初のPDFを初回原稿として登録してください。"));
}

}  // namespace tesmira::app
