#pragma once
#include <QString>

namespace tesmira::app {

// The path of one of the package's helper programs ("TesmiraWorker", "tesmira-page-views"):
// in "libexec/tesmira" beside the application's "bin" folder, installed and in the build tree.
QString helperPath(const QString& program);

}  // namespace tesmira::app
