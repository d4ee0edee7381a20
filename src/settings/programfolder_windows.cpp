// Where settings may live on Windows.
#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>

#include "settings/programfolder.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

namespace kestrel::detail {

namespace {

// A known folder of the system ("C:/Program Files"), empty when it has none.
QString KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  QString folder;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)))
    folder = QDir::fromNativeSeparators(QString::fromWCharArray(path));
  CoTaskMemFree(path);
  return folder;
}

bool IsWithin(const QString& path, const QString& root) {
  if (root.isEmpty()) return false;
  const QString prefix = QDir::cleanPath(root) + QLatin1Char('/');
  return path.startsWith(prefix, Qt::CaseInsensitive);
}

// A program under Program Files is an installed copy that every user of the PC shares: its
// folder is no place for one user's settings, even where it may be written (by an
// administrator, or on a system that does not enforce access rights).
bool IsInstalledProgramsFolder(const QString& folder) {
  const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) + QLatin1Char('/');
  static const QList<QString> roots = {KnownFolder(FOLDERID_ProgramFiles),
                                       KnownFolder(FOLDERID_ProgramFilesX86),
                                       KnownFolder(FOLDERID_Windows)};
  for (const QString& root : roots)
    if (IsWithin(path, root)) return true;
  return false;
}

// Whether a file may be created in the folder. Access rights, a network share's own
// permissions and a write-protected stick all have a say, and the read-only flag of a folder
// means nothing on Windows: only creating a file tells. It vanishes when closed.
bool MayCreateFilesIn(const QString& folder) {
  const QString probe =
      folder + QStringLiteral("/~kestrel-%1.tmp")
                   .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
  const HANDLE handle = CreateFileW(
      reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(probe).utf16()), GENERIC_WRITE, 0,
      nullptr, CREATE_NEW,
      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

}  // namespace

bool SettingsMayLiveIn(const QString& folder) {
  return QFileInfo(folder).isDir() && !IsInstalledProgramsFolder(folder) &&
         MayCreateFilesIn(folder);
}

// %APPDATA%: settings roam with the user's profile. Qt names this folder only with each
// program's own name appended, and all the programs share one settings folder.
QString UserConfigRoot() { return KnownFolder(FOLDERID_RoamingAppData); }

}  // namespace kestrel::detail
