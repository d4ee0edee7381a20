// Opening the download log for appending. On POSIX systems the checks are made on the file
// actually opened (no link followed, no blocking open); elsewhere by name just before.
#include <QFileInfo>

#include "app/downloadlog.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace kestrel::detail {

namespace {
// Looked at before anything is opened: opening a serial device, even for an instant,
// changes its modem lines.
bool RefusedByName(const QString& path, QString* reason) {
  const QFileInfo info(path);
  if (info.isSymLink()) {
    *reason = QStringLiteral("it is a link, not a regular file");
    return true;
  }
  if (info.exists() && !info.isFile()) {
    *reason = QStringLiteral("it is not a regular file");
    return true;
  }
  return false;
}
}  // namespace

#ifdef Q_OS_UNIX

bool OpenRegularFileForAppend(const QString& path, QFile& file, QString* reason) {
  if (RefusedByName(path, reason)) return false;
  const int fd =
      ::open(QFile::encodeName(path).constData(),
             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) {
    *reason = errno == ELOOP ? QStringLiteral("it is a link, not a regular file")
                             : QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    *reason = QStringLiteral("it is not a regular file");
    return false;
  }
  if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                 QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    *reason = file.errorString();
    return false;
  }
  return true;
}

#else

bool OpenRegularFileForAppend(const QString& path, QFile& file, QString* reason) {
  if (RefusedByName(path, reason)) return false;
  file.setFileName(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
    *reason = file.errorString();
    return false;
  }
  return true;
}

#endif

}  // namespace kestrel::detail
