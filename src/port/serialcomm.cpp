#include "port/serialcomm.h"

#include <QFileInfo>

#include "port/portnames.h"
#include "settings/inifile.h"

namespace kestrel {

namespace {

QSerialPort::Parity ToQtParity(char parity) {
  switch (parity) {
    case 'e':
      return QSerialPort::EvenParity;
    case 'o':
      return QSerialPort::OddParity;
    case 'm':
      return QSerialPort::MarkParity;
    case 's':
      return QSerialPort::SpaceParity;
    default:
      return QSerialPort::NoParity;
  }
}

QSerialPort::StopBits ToQtStopBits(const QString& stop) {
  if (stop == QLatin1String("2")) return QSerialPort::TwoStop;
  if (stop == QLatin1String("1.5")) return QSerialPort::OneAndHalfStop;
  return QSerialPort::OneStop;
}

// A named device with its links resolved, so the lock that marks it as held is the same
// whichever name opened it; a dangling link keeps its name and fails as "does not exist".
QString ResolvedDevice(const QString& device) {
#ifdef Q_OS_WIN
  return device;
#else
  const QString resolved = QFileInfo(device).canonicalFilePath();
  return resolved.isEmpty() ? device : resolved;
#endif
}

}  // namespace

SerialComm::SerialComm(QObject* parent) : CommControl(parent) {
  connect(&serial_, &QSerialPort::readyRead, this, [this] {
    if (RThreshold() > 0) raiseComm(CommEv::Receive);
  });
  connect(&serial_, &QSerialPort::errorOccurred, this, &SerialComm::onSerialError);
  connect(&serial_, &QSerialPort::bytesWritten, this, &SerialComm::onBytesWritten);
}

SerialComm::~SerialComm() {
  if (serial_.isOpen()) serial_.close();
}

QString SerialComm::DevicePathForPort(int port) { return ResolvePort(port).shown(); }

QList<int> SerialComm::AssignedComNumbers(const QString& devicePath) {
  return PortsUsingDevice(devicePath);
}

bool SerialComm::PortExists(int port) const {
  if (port < 1 || port > kHighestPortNumber) return false;
  const PortTarget target = ResolvePort(port);
  return target.usable() && SerialDeviceExists(target.device);
}

void SerialComm::setCommPort(int port) {
  if (port < 1 || port > 255)
    throw CommError(CommErr::PortNotExist, QStringLiteral("Invalid port number %1").arg(port));
  if (serial_.isOpen())
    throw CommError(CommErr::Other, QStringLiteral("Operation not valid while the port is opened"));
  port_ = port;
}

void SerialComm::setSettings(const QString& settings) {
  const auto parsed = ParseLineSettings(settings);
  if (!parsed)
    throw CommError(CommErr::InvalidPropertyValue,
                    QStringLiteral("Invalid property value: line settings \"%1\"").arg(settings));
  if (serial_.isOpen()) {
    try {
      applyLineSettings(*parsed);
    } catch (const CommError&) {
      try {
        applyLineSettings(settings_);
      } catch (const CommError&) {
        // The old settings were in force a moment ago; nothing better to restore.
      }
      throw;
    }
  }
  settings_ = *parsed;
}

void SerialComm::applyLineSettings(const LineSettings& s) {
  const auto check = [this, &s](bool ok) {
    if (ok) return;
    const QString reason = serial_.errorString();
    serial_.clearError();
    throw CommError(CommErr::SetStateFailed,
                    QStringLiteral("The device %1 refused the line settings %2: %3")
                        .arg(devicePath_, FormatLineSettings(s), reason));
  };
  check(serial_.setBaudRate(s.baud));
  check(serial_.setDataBits(QSerialPort::DataBits(s.dataBits)));
  check(serial_.setParity(ToQtParity(s.parity)));
  check(serial_.setStopBits(ToQtStopBits(s.stopBits)));
}

void SerialComm::setPortOpen(bool open) {
  lost_ = false;
  lostDescription_.clear();
  if (!open) {
    if (serial_.isOpen()) {
      serial_.close();
      Q_EMIT OpenChanged();
    }
    return;
  }
  if (serial_.isOpen()) throw CommError(CommErr::PortInUse, QStringLiteral("Port already open"));

  QString path;
  if (!device_.isEmpty()) {
    path = ResolvedDevice(device_);
  } else {
    const PortTarget target = ResolvePort(port_);
    path = target.shown();
    if (!target.usable()) {
      devicePath_ = path;
      throw CommError(CommErr::PortNotExist,
                      QStringLiteral("The serial port COM%1 does not exist: its assignment \"%2\" "
                                     "in %3 names no device.")
                          .arg(port_)
                          .arg(path, QLatin1String(kIniFileName)),
                      path);
    }
  }
  devicePath_ = path;
  // What is plainly no serial port is not opened at all: opening a serial node raises its
  // modem lines, and a FIFO or a port with no UART behind it has nothing to answer.
  if (const std::optional<bool> exists = detail::SerialNodeExists(path); exists && !*exists)
    throw toCommError(QSerialPort::DeviceNotFoundError, QString(), path, true);
  serial_.setPortName(path);
  // Every serial device takes 9600,n,8,1. The configured settings follow the open, so a
  // device that refuses them is told apart from one that is not there.
  serial_.setBaudRate(9600);
  serial_.setDataBits(QSerialPort::Data8);
  serial_.setParity(QSerialPort::NoParity);
  serial_.setStopBits(QSerialPort::OneStop);
  if (!serial_.open(QIODevice::ReadWrite)) {
    const QSerialPort::SerialPortError error = serial_.error();
    const QString text = serial_.errorString();
    serial_.clearError();
    throw toCommError(error, text, path, true);
  }
  detail::RequestLowLatency(serial_);
  try {
    applyLineSettings(settings_);
  } catch (const CommError&) {
    serial_.close();
    throw;
  }
  pseudoTerminal_ = detail::IsPseudoTerminal(path);
  Q_EMIT OpenChanged();
}

CommError SerialComm::toCommError(QSerialPort::SerialPortError error, const QString& qtText,
                                  const QString& path, bool opening) const {
  const QString port = device_.isEmpty() ? QStringLiteral("COM%1 (%2)").arg(port_).arg(path) : path;
  const auto notExist = [&] {
    return CommError(CommErr::PortNotExist,
                     QStringLiteral("The serial port %1 does not exist.").arg(port), path);
  };
  const auto denied = [&] {
    const detail::DeviceUsers users = detail::WhoMayUse(path);
    QString text = QStringLiteral("No permission to use the serial port %1").arg(port);
    if (!users.group.isEmpty())
      text += QStringLiteral(
                  ": the device belongs to the group \"%1\". Add your user to that "
                  "group and log in again.")
                  .arg(users.group);
    else if (!users.user.isEmpty())
      text += QStringLiteral(": only the user \"%1\" may use the device.").arg(users.user);
    else
      text += QLatin1Char('.');
    return CommError(CommErr::PermissionDenied, text, path);
  };

  switch (error) {
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::UnsupportedOperationError:  // a regular file or a folder, no serial device
      return notExist();
    case QSerialPort::PermissionError:
      // Qt says this for a lock held by another program, a busy device and a node we may
      // not open alike; only the last one is the user's to fix.
      if (detail::ProbeDevice(path, false) == detail::DeviceProblem::AccessDenied) return denied();
      [[fallthrough]];
    case QSerialPort::OpenError:
      return CommError(CommErr::PortInUse,
                       QStringLiteral("The serial port %1 is used by another program.").arg(port),
                       path);
    case QSerialPort::UnknownError:
      switch (detail::ProbeDevice(path, true)) {
        case detail::DeviceProblem::NoDevice:
          return notExist();
        case detail::DeviceProblem::AccessDenied:
          return denied();
        case detail::DeviceProblem::Unknown:
          break;
      }
      break;
    case QSerialPort::ResourceError:
      // A node whose driver fails the open with an I/O error has no device behind it (the
      // spare /dev/ttyS ports of a PC); "stopped working" is for a port that was in use.
      if (opening) return notExist();
      [[fallthrough]];
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
      // Qt's text here is whatever errno held last, often misleading; leave it out.
      return CommError(CommErr::DeviceIoError,
                       QStringLiteral("The serial port %1 stopped working. Check that the "
                                      "device is still connected.")
                           .arg(port));
    case QSerialPort::NotOpenError:
      return CommError(CommErr::PortNotOpen,
                       QStringLiteral("Operation valid only when the port is open"));
    default:
      break;
  }
  return CommError(CommErr::Other, QStringLiteral("Serial port %1: %2").arg(port, qtText), path);
}

void SerialComm::onSerialError(QSerialPort::SerialPortError error) {
  if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
      error != QSerialPort::WriteError)
    return;
  if (!serial_.isOpen()) return;
  // Qt keeps a vanished device "open" and repeats the error at full speed: close at once.
  const CommError lost = toCommError(error, serial_.errorString(), devicePath_);
  serial_.close();
  serial_.clearError();
  lost_ = true;
  lostDescription_ = lost.description();
  Q_EMIT OpenChanged();
  Q_EMIT PortLost(lostDescription_);
}

void SerialComm::onBytesWritten() {
  if (SThreshold() <= 0 || serial_.bytesToWrite() > 0 || sendEventQueued_) return;
  // Written bytes may be reported inside setOutput; the event must wait for the event loop.
  sendEventQueued_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        sendEventQueued_ = false;
        if (serial_.isOpen()) raiseComm(CommEv::Send);
      },
      Qt::QueuedConnection);
}

void SerialComm::checkUsable() const {
  if (lost_) throw CommError(CommErr::DeviceIoError, lostDescription_);
  if (!serial_.isOpen())
    throw CommError(CommErr::PortNotOpen,
                    QStringLiteral("Operation valid only when the port is open"));
}

int SerialComm::InBufferCount() const {
  checkUsable();
  return int(serial_.bytesAvailable());
}

void SerialComm::setInBufferCount(int count) {
  checkUsable();
  if (count == 0) serial_.clear(QSerialPort::Input);
}

QByteArray SerialComm::Input() {
  checkUsable();
  return serial_.readAll();
}

void SerialComm::setOutput(const QByteArray& data) {
  checkUsable();
  if (serial_.write(data) != data.size()) {
    const CommError error =
        toCommError(QSerialPort::WriteError, serial_.errorString(), devicePath_);
    serial_.clearError();
    throw error;
  }
  // Out on the line now rather than at the next event-loop pass: the reply timer is running.
  serial_.flush();
}

}  // namespace kestrel
