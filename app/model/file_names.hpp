#pragma once
// File names as the model compares them: the last component of a file URL, its NFC form
// (the document name) and the order of names by Unicode code points.

#include <QString>
#include <QStringList>
#include <QUrl>

namespace tesmira::app {

// The URL's last path component, extension included ("" for the root).
QString lastPathComponent(const QUrl& url);

// A file URL that names a file on this machine: no host, "localhost" or this machine's name.
bool isLocalFileUrl(const QUrl& url);

// The file-system path of a local file URL: absolute, percent escapes decoded, without the
// host that some drag sources put in front ("file://localhost/a.pdf" is "/a.pdf").
QString filePath(const QUrl& url);

// A local file URL whose last path component ends in ".pdf", in any letter case.
bool isPdfFileUrl(const QUrl& url);

// The NFC form of the last path component: the name by which old and new files pair.
QString documentName(const QUrl& url);

// Ascending order of Unicode code points, case-sensitive and independent of the locale.
bool codePointLess(const QString& a, const QString& b);

// The names sorted by code point and joined by "、".
QString joinedNames(QStringList names);

}  // namespace tesmira::app
