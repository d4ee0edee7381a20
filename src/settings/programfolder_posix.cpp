// Where settings may live on Linux and other POSIX systems.
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "settings/programfolder.h"

namespace kestrel::detail {

namespace {

// A program under /usr or /bin was installed by the package manager: even root must not
// scatter settings there.
bool IsSystemFolder(const QString& folder) {
  const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) + QLatin1Char('/');
  return path.startsWith(QLatin1String("/usr/")) || path.startsWith(QLatin1String("/bin/")) ||
         path.startsWith(QLatin1String("/sbin/"));
}

}  // namespace

bool SettingsMayLiveIn(const QString& folder) {
  const QFileInfo info(folder);
  return info.isDir() && info.isWritable() && !IsSystemFolder(folder);
}

// Not AppConfigLocation, which carries each program's own name.
QString UserConfigRoot() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

}  // namespace kestrel::detail
