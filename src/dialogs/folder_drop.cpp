#include "dialogs/folder_drop.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace tidewell {

QString droppedFolder(const QMimeData& data) {
  if (!data.hasUrls()) {
    return {};
  }
  const QList<QUrl> urls = data.urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) {
    return {};
  }
  const QFileInfo folder(urls.front().toLocalFile());
  if (!folder.isDir()) {
    return {};
  }
  return QDir::cleanPath(folder.absoluteFilePath());
}

}  // namespace tidewell
