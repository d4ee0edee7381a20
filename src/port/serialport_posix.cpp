// The POSIX side of the serial layer: why a device node cannot be opened, who may open it,
// whether it is a pseudo-terminal, which serial devices the system has (all without opening
// them), and asking the driver not to sit on received bytes. serialport_windows.cpp answers
// the same questions on Windows.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "port/portnames.h"
#include "port/serialcomm.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#if __has_include(<sys/sysmacros.h>)
#include <sys/sysmacros.h>  // major, minor on Linux
#endif

#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>
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

// getpwuid_r and getgrgid_r alike: the name of a user or group, or its number when it has none.
template <typename Entry, typename Id>
QString EntryName(Id id, int (*lookup)(Id, Entry*, char*, size_t, Entry**), char* Entry::*name) {
  std::vector<char> buffer(16384);
  Entry entry{};
  Entry* found = nullptr;
  if (lookup(id, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return QString::number(id);
  return QString::fromLocal8Bit(found->*name);
}

// A sysfs attribute: one short line of text.
QString Attribute(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.read(4096)).trimmed();
}

// The serial8250 driver registers ports it found no UART for as type 0 (PORT_UNKNOWN):
// opening them fails with an I/O error.
bool NoUartBehind(const QString& ttyFolder) {
  return Attribute(ttyFolder + QStringLiteral("/type")) == QLatin1String("0");
}

// Where serial programs leave their lock files, in the order they look.
const QStringList& LockFolders() {
  static const QStringList folders{
      QStringLiteral("/var/lock"),        QStringLiteral("/etc/locks"),
      QStringLiteral("/var/spool/locks"), QStringLiteral("/var/spool/uucp"),
      QStringLiteral("/tmp"),             QStringLiteral("/var/tmp"),
      QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock")};
  return folders;
}

// A lock file's process: ASCII (UUCP "%10d\n", or the first line of a Qt lock), or the old
// binary int of four bytes.
qint64 LockPid(const QString& lockFile) {
  QFile file(lockFile);
  if (!QFileInfo(lockFile).isFile() || !file.open(QIODevice::ReadOnly)) return 0;
  const QByteArray bytes = file.read(128);
  if (bytes.size() == int(sizeof(int)) && !QChar::isPrint(uchar(bytes[0]))) {
    int binary = 0;
    std::memcpy(&binary, bytes.constData(), sizeof binary);
    return binary;
  }
  bool ok = false;
  const qint64 pid = bytes.split('\n').front().trimmed().toLongLong(&ok);
  return ok ? pid : 0;
}

}  // namespace

DeviceHolder HolderOf(const QString& devicePath, const QStringList& lockFolders) {
  QString name = devicePath;
  if (name.startsWith(QLatin1String("/dev/"))) name.remove(0, 5);
  name.replace(QLatin1Char('/'), QLatin1Char('_'));
  for (const QString& folder : lockFolders.isEmpty() ? LockFolders() : lockFolders) {
    const qint64 pid = LockPid(folder + QStringLiteral("/LCK..") + name);
    // A stale lock names a process that has ended; nobody holds the port through it.
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max() ||
        (::kill(pid_t(pid), 0) != 0 && errno != EPERM))
      continue;
    DeviceHolder holder;
    holder.pid = pid;
#ifdef Q_OS_LINUX
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (comm.open(QIODevice::ReadOnly)) holder.program = QString::fromLocal8Bit(comm.read(64)).trimmed();
#endif
    return holder;
  }
  return {};
}

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
  if (fd < 0) return errno == EIO ? DeviceProblem::NoDevice : FromErrno(errno);
  ::close(fd);
  return DeviceProblem::Unknown;
}

DeviceUsers WhoMayUse(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
  DeviceUsers users;
  if ((st.st_mode & (S_IRUSR | S_IWUSR)) == (S_IRUSR | S_IWUSR))
    users.user = EntryName<passwd>(st.st_uid, ::getpwuid_r, &passwd::pw_name);
  // Joining root's group is no remedy to suggest.
  if ((st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP) && st.st_gid != 0)
    users.group = EntryName<group>(st.st_gid, ::getgrgid_r, &group::gr_name);
  return users;
}

std::optional<bool> TtyInSysfs(const QString& sysRoot, unsigned major, unsigned minor) {
  const QString entry = QStringLiteral("%1/dev/char/%2:%3").arg(sysRoot).arg(major).arg(minor);
  if (!QFileInfo::exists(entry)) return std::nullopt;
  const QString subsystem = QFileInfo(entry + QStringLiteral("/subsystem")).canonicalFilePath();
  if (QFileInfo(subsystem).fileName() != QLatin1String("tty")) return false;
  return !NoUartBehind(entry);
}

std::optional<bool> SerialNodeExists(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? std::optional<bool>(false) : std::nullopt;
  if (!S_ISCHR(st.st_mode)) return false;
#ifdef Q_OS_LINUX
  if (const auto known = TtyInSysfs(QStringLiteral("/sys"), major(st.st_rdev), minor(st.st_rdev)))
    return known;
#endif
  return true;
}

std::optional<QList<SerialDevice>> SystemSerialDevices() {
#ifdef Q_OS_LINUX
  const QDir classTty(QStringLiteral("/sys/class/tty"));
  if (!classTty.exists()) return std::nullopt;
  const QString devices = QFileInfo(QStringLiteral("/sys/devices")).canonicalFilePath();
  QList<SerialDevice> found;
  for (const QString& name : classTty.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
    const QString folder = classTty.filePath(name);
    // Virtual consoles and pseudo-terminals have no hardware behind them.
    const QFileInfo hardware(folder + QStringLiteral("/device"));
    if (!hardware.exists() || NoUartBehind(folder)) continue;
    SerialDevice device;
    device.device = QStringLiteral("/dev/") + name;
    if (!QFileInfo::exists(device.device)) continue;
    // A USB adapter names itself in the USB device a few levels up.
    QDir up(hardware.canonicalFilePath());
    for (int level = 0; level < 6 && up.path().startsWith(devices); ++level) {
      if (up.exists(QStringLiteral("idVendor"))) {
        device.usb = true;
        device.description = Attribute(up.filePath(QStringLiteral("product")));
        device.manufacturer = Attribute(up.filePath(QStringLiteral("manufacturer")));
        device.serialNumber = Attribute(up.filePath(QStringLiteral("serial")));
        break;
      }
      if (!up.cdUp()) break;
    }
    found << device;
  }
  return found;
#else
  return std::nullopt;
#endif
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
