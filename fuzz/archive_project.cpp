// A project's "project.json", as the worker's archive and the application's project list
// read it, and a document or project name. The input is the record's text, then a NUL byte
// and the name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/model/archive_library.hpp"
#include "app/model/project_name.hpp"
#include "common/errors.hpp"
#include "common/files.hpp"
#include "vault/document_name.hpp"
#include "vault/version_store.hpp"

namespace {

const std::string PROJECT_ID = "0123456789abcdef0123456789abcdef";

// One archive folder for the whole run, holding the one project whose record is the input.
const std::filesystem::path& archive_root() {
    static const tesmira::TemporaryFolder folder("tesmira-fuzz-archive-");
    static const std::filesystem::path root = [] {
        const std::filesystem::path path = folder.path() / "archive";
        tesmira::make_folder(path);
        tesmira::make_folder(path / PROJECT_ID);
        return path;
    }();
    return root;
}

void read_record(const std::string& record) {
    const std::filesystem::path& root = archive_root();
    tesmira::write_text_file(root / PROJECT_ID / "project.json", record);
    try {
        const tesmira::vault::Vault vault(root, PROJECT_ID);
    } catch (const std::exception&) {}
    try {
        tesmira::app::decodeProject(record);
    } catch (const std::exception&) {}
    try {
        const QList<tesmira::app::ArchiveProject> projects =
            tesmira::app::ArchiveLibrary::projects(QString::fromStdString(root.string()));
        if (projects.size() != 1 || projects.front().id != QString::fromStdString(PROJECT_ID)) std::abort();
    } catch (const std::exception&) {}
}

void read_name(const std::string& name) {
    try {
        const std::string document = tesmira::vault::canonical_name(name);
        if (tesmira::vault::canonical_name(document) != document) std::abort();
    } catch (const tesmira::UserError&) {}
    const std::string project = tesmira::app::normalizedProjectName(name);
    if (tesmira::app::normalizedProjectName(project) != project) std::abort();
    tesmira::app::isAcceptableProjectName(project);
    tesmira::app::projectNameKey(project);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    read_record(std::string(input.substr(0, split)));
    if (split != std::string_view::npos) read_name(std::string(input.substr(split + 1)));
    return 0;
}
