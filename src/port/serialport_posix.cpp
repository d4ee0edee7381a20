// The POSIX side of the serial layer: why a device node cannot be opened, who may open it, and
// whether it is a pseudo-terminal. Elsewhere these answer "unknown" (or "no") and the generic
// messages apply.
#include <QFile>

#include "port/serialcomm.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#if __has_include(<sys/sysmacros.h>)
#include <sys/sysmacros.h>  // major() on Linux
#endif

#include <cerrno>
#include <vector>
#endif

namespace kestrel::detail {

#ifdef Q_OS_UNIX

namespace {
DeviceProblem FromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:  // a /dev/ttyS node with no UART behind it
    case ENODEV:
    case EISDIR:
    case ENOTTY:
      return DeviceProblem::NoDevice;
    case EACCES:
    case EPERM:
      return DeviceProblem::AccessDenied;
    default:
      return DeviceProblem::Unknown;
  }
}
}  // namespace

DeviceProblem ProbeDevice(const QString& path, bool mayOpen) {
  const QByteArray native = QFile::encodeName(path);
  struct stat st {};
  if (::stat(native.constData(), &st) != 0) return FromErrno(errno);
  if (!S_ISCHR(st.st_mode)) return DeviceProblem::NoDevice;
  if (::access(native.constData(), R_OK | W_OK) != 0) {
    const DeviceProblem problem = FromErrno(errno);
    if (problem != DeviceProblem::Unknown) return problem;
  }
  if (!mayOpen) return DeviceProblem::Unknown;
  const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return FromErrno(errno);
  ::close(fd);
  return DeviceProblem::Unknown;
}

QString DeviceGroup(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
  std::vector<char> buffer(16384);
  struct group entry {};
  struct group* found = nullptr;
  if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return QString::number(st.st_gid);
  return QString::fromLocal8Bit(found->gr_name);
}

bool IsPseudoTerminal(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
#ifdef Q_OS_LINUX
  // The kernel's numbers for the terminal ends of pseudo-terminals, whatever the node's name.
  constexpr unsigned kFirstPtyMajor = 136;
  constexpr unsigned kPtyMajors = 8;
  const unsigned deviceMajor = major(st.st_rdev);
  return deviceMajor >= kFirstPtyMajor && deviceMajor < kFirstPtyMajor + kPtyMajors;
#else
  return path.startsWith(QLatin1String("/dev/pts/"));
#endif
}

#else

DeviceProblem ProbeDevice(const QString&, bool) { return DeviceProblem::Unknown; }
QString DeviceGroup(const QString&) { return {}; }
bool IsPseudoTerminal(const QString&) { return false; }

#endif

}  // namespace kestrel::detail
