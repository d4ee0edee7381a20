#include "settings/recentfiles.h"

#include <QDir>
#include <QFileInfo>

#include "logo/bitmapfile.h"
#include "settings/inifile.h"

namespace kestrel {

namespace {

// What a read gives back at most; a longer value would come back cut.
constexpr qsizetype kMaxStoredChars = 254;

QString Stored(const QString& path) { return QString::fromLatin1(path.toUtf8()); }
QString Restored(const QString& value) { return QString::fromUtf8(value.toLatin1()); }

bool Store(const QString& key, const QString& path) {
  const QString value = Stored(path);
  if (value.size() > kMaxStoredChars || value.startsWith(QLatin1Char(' '))) return false;
  return ArchivoIni::WriteIniValue(QString::fromLatin1(kIniFileName),
                                   QString::fromLatin1(kRecentSection), key, value);
}

QString Read(const QString& key) {
  return Restored(ArchivoIni::ReadIniValue(QString::fromLatin1(kIniFileName),
                                           QString::fromLatin1(kRecentSection), key));
}

QString Remembered(bool (*usable)(const QString& file)) {
  const QString file = Read(QStringLiteral("File"));
  if (!file.isEmpty() && QFileInfo(file).isFile() && usable(file)) return file;
  const QString folder = Read(QStringLiteral("Folder"));
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
  return {};
}

}  // namespace

void RememberFile(const QString& path) {
  const QFileInfo info(path);
  Store(QStringLiteral("Folder"), QDir::cleanPath(info.absolutePath()));
  Store(QStringLiteral("File"), QDir::cleanPath(info.absoluteFilePath()));
}

QString RememberedFile() {
  return Remembered([](const QString&) { return true; });
}

QString RememberedLogoBitmap() {
  return Remembered([](const QString& file) {
    return ReadLogoBitmap(file).outcome == LogoFileResult::Outcome::Accepted;
  });
}

}  // namespace kestrel
