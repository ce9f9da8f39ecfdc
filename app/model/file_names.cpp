#include "app/model/file_names.hpp"

#include <QSysInfo>

#include <algorithm>

namespace tesmira::app {

QString lastPathComponent(const QUrl& url) {
    QString path = url.path(QUrl::FullyDecoded);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
    if (path == QLatin1String("/")) return path;
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool isLocalFileUrl(const QUrl& url) {
    if (!url.isLocalFile()) return false;
    const QString host = url.host();
    return host.isEmpty() || host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0;
}

QString filePath(const QUrl& url) { return url.path(QUrl::FullyDecoded); }

bool isPdfFileUrl(const QUrl& url) {
    return isLocalFileUrl(url) && lastPathComponent(url).toLower().endsWith(QLatin1String(".pdf"));
}

QString documentName(const QUrl& url) { return lastPathComponent(url).normalized(QString::NormalizationForm_C); }

bool codePointLess(const QString& a, const QString& b) {
    // UTF-16 order differs from code-point order above the surrogates; UTF-8 order does not.
    return a.toUtf8() < b.toUtf8();
}

QString joinedNames(QStringList names) {
    std::sort(names.begin(), names.end(), codePointLess);
    return names.join(QStringLiteral("、"));
}

}  // namespace tesmira::app
