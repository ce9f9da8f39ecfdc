#include "app/model/helper_programs.hpp"

#include <QCoreApplication>
#include <QDir>

#include "common/install_layout.hpp"

namespace tesmira::app {

QString helperPath(const QString& program) {
    const QString helpers = QString::fromUtf8(PROGRAMS_TO_HELPERS.data(), PROGRAMS_TO_HELPERS.size());
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + u'/' + helpers + u'/' + program);
}

}  // namespace tesmira::app
