#pragma once
// The worker's command line and environment for one run (the environment also its helpers').

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace tesmira::app {

struct WorkerRunRequest {
    QList<QUrl> before, after;
    QString outputRoot;
    QString settingsJson;
    bool archiveMode = false;
    bool registerBaseline = false;
    QString archiveRoot;
    QString projectID;
    QString comparedCopies;  // where the worker keeps the compared PDFs for the views, or empty
};

// "--after" NEW..., "--output-root" ROOT, "--settings-json" JSON, "--compared-copies" FOLDER
// when a folder is given, then "--before" OLD... or, in archive mode, "--archive-mode"
// register|compare, "--archive-root" ROOT, "--project-id" ID. One element per path, unquoted.
QStringList workerArguments(const WorkerRunRequest& request);

// PATH, HOME, LANG and PYTHONNOUSERSITE, and TMPDIR when the application's own environment
// sets it, so that the worker's private copies and pages go where the window's views go.
// Nothing else of the application's environment reaches the worker and its helpers.
QProcessEnvironment workerEnvironment();

}  // namespace tesmira::app
