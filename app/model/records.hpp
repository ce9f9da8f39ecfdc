#pragma once
// The two value records of the application's model: one row of a run's results, and one
// project of the saved-version archive (the content of its "project.json").

#include <QList>
#include <QRect>
#include <QString>

#include <optional>
#include <string>

namespace tesmira::app {

// One compared page of the last completed run.
struct ProofPage {
    QString sourceName;                 // the source document's file name
    qint64 page = 0;                    // the page within its result PDF, from 1
    QString file;                       // the result PDF, relative to the result folder
    std::optional<QString> strictFile;  // its strict-comparison twin, when the run made one
    qint64 regions = 0;                 // changed regions on the page
    double percent = 0;                 // changed share of the page, in percent
    // The bounding boxes of the page's regions (the first 200), in pixels of the result page
    // at the run's resolution, the information band included; and whether there were more.
    QList<QRect> boxes;
    bool boxesTruncated = false;

    // Rows of one result PDF page share an identity: file "#" page.
    QString id() const { return file + QLatin1Char('#') + QString::number(page); }
    friend bool operator==(const ProofPage&, const ProofPage&) = default;
};

// One archive project.
struct ArchiveProject {
    qint64 version = 1;
    QString id;    // 32 lowercase hexadecimal digits: the project folder's name
    QString name;  // the name the operator chose

    friend bool operator==(const ArchiveProject&, const ArchiveProject&) = default;
};

// "project.json": one compact object with "version", "id" and "name" in this order, UTF-8
// with non-ASCII characters as they are, no final newline.
std::string encodeProject(const ArchiveProject& project);

// Reads "project.json" text: "version" must be an integer, "id" and "name" texts; further
// keys are ignored. Failures carry the JSON library's description or name the faulty key.
ArchiveProject decodeProject(const std::string& text);

}  // namespace tesmira::app
