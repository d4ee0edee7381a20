// The POSIX side of the serial layer: why a device node cannot be opened, who may open it, and
// asking the driver not to sit on received bytes. Elsewhere these answer "unknown" and the
// generic messages apply, or do nothing.
#include <QFile>

#include "port/serialcomm.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>
#endif

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
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

#else

DeviceProblem ProbeDevice(const QString&, bool) { return DeviceProblem::Unknown; }
QString DeviceGroup(const QString&) { return {}; }

#endif

void RequestLowLatency(const QSerialPort& port) {
#ifdef Q_OS_LINUX
  const int fd = port.handle();
  // Pseudo-terminals and many drivers know no such request; the port works as it is then.
  serial_struct serial{};
  if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
  if (serial.flags & ASYNC_LOW_LATENCY) return;
  serial.flags |= ASYNC_LOW_LATENCY;
  ::ioctl(fd, TIOCSSERIAL, &serial);
#else
  Q_UNUSED(port);
#endif
}

}  // namespace kestrel::detail
