#pragma once
// The two value records of the application's model: one row of a run's results, and one
// project of the saved-version archive (the content of its "project.json").

#include <QList>
#include <QRect>
#include <QRectF>
#include <QString>

#include <optional>
#include <string>

namespace tesmira::app {

// One change of a page as the worker lists it: regions a few millimetres apart together, with
// the words under it on the old and on the new page.
struct PageChange {
    QRect box;     // on the result page, in pixels at the run's resolution, the information band included
    QRectF boxMm;  // left, top, width and height in mm from the trim box's top left; empty when not known
    qint64 regions = 0;
    QString oldText, newText;  // the words or lines under the change on each page, "" where there are none
    QString oldSpan, newSpan;  // the smallest differing span; both "" when the words are equal or there are none

    friend bool operator==(const PageChange&, const PageChange&) = default;
};

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
    qint64 headerHeight = 0;  // the information band's height in pixels
    // Every change of the page in reading order, up to the worker's bound, and how many more
    // there were; none from a worker that does not list them.
    std::optional<QList<PageChange>> changes = std::nullopt;
    qint64 changesLeftOut = 0;

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
