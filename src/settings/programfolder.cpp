#include "settings/programfolder.h"

#include <QCoreApplication>

namespace kestrel {

namespace {
QString& FolderOverride() {
  static QString folder;
  return folder;
}
}  // namespace

QString ProgramFolder() {
  const QString& folder = FolderOverride();
  return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

void SetProgramFolder(const QString& folder) { FolderOverride() = folder; }

QString SettingsFolder() { return ProgramFolder(); }

}  // namespace kestrel
