#pragma once
// Shows files in the desktop's file manager.

#include <QList>
#include <QUrl>

namespace tesmira::app {

// Asks the file manager to show the files selected (org.freedesktop.FileManager1.ShowItems
// on the session bus). When no file manager answers, the folder of the first file is opened
// with the desktop's default handler instead. An empty list does nothing.
void selectInFileManager(const QList<QUrl>& files);

}  // namespace tesmira::app
