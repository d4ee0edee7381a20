#include "port/serialcomm.h"

#include <QFileInfo>

#include "port/portnames.h"

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

// Our own calls mark themselves, so a failure QSerialPort reports inside them is thrown by
// the call rather than also signalled.
class InCall {
 public:
  explicit InCall(int& depth) : depth_(depth) { ++depth_; }
  ~InCall() { --depth_; }
  InCall(const InCall&) = delete;
  InCall& operator=(const InCall&) = delete;

 private:
  int& depth_;
};

}  // namespace

SerialComm::SerialComm(QObject* parent) : CommControl(parent) {
  connect(&serial_, &QSerialPort::readyRead, this, [this] {
    const QByteArray data = serial_.readAll();
    if (!data.isEmpty()) Q_EMIT dataReceived(data);
  });
  connect(&serial_, &QSerialPort::errorOccurred, this, &SerialComm::onSerialError);
}

SerialComm::~SerialComm() {
  if (serial_.isOpen()) serial_.close();
}

void SerialComm::open(const QString& device, const LineSettings& settings, const QString& name) {
  InCall call(inCall_);
  if (serial_.isOpen()) throw CommError(CommErr::PortInUse, CommError::Kind::AlreadyOpen, {});
  lost_ = false;
  name_ = name;
  devicePath_ = ResolvedDevice(device);
  // What is plainly no serial port is not opened at all: opening a serial node raises its
  // modem lines, and a FIFO or a port with no UART behind it has nothing to answer.
  if (const std::optional<bool> exists = detail::SerialNodeExists(devicePath_); exists && !*exists)
    throw toCommError(QSerialPort::DeviceNotFoundError, QString(), true);
  serial_.setPortName(devicePath_);
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
    throw toCommError(error, text, true);
  }
  detail::RequestLowLatency(serial_);
  try {
    applyLineSettings(settings);
  } catch (const CommError&) {
    serial_.close();
    throw;
  }
  settings_ = settings;
  pseudoTerminal_ = detail::IsPseudoTerminal(devicePath_);
  Q_EMIT openChanged(true);
}

void SerialComm::close() {
  InCall call(inCall_);
  lost_ = false;
  if (!serial_.isOpen()) return;
  serial_.close();
  Q_EMIT openChanged(false);
}

void SerialComm::setLineSettings(const LineSettings& settings) {
  InCall call(inCall_);
  checkUsable();
  try {
    applyLineSettings(settings);
  } catch (const CommError&) {
    try {
      applyLineSettings(settings_);
    } catch (const CommError&) {
      // The old settings were in force a moment ago; nothing better to restore.
    }
    throw;
  }
  settings_ = settings;
}

void SerialComm::applyLineSettings(const LineSettings& s) {
  const auto check = [this, &s](bool ok) {
    if (ok) return;
    const QString reason = serial_.errorString();
    serial_.clearError();
    CommError::Details details;
    details.device = devicePath_;
    details.settings = FormatLineSettings(s);
    details.reason = reason;
    throw CommError(CommErr::SetStateFailed, CommError::Kind::SettingsRefused, details);
  };
  check(serial_.setBaudRate(s.baud));
  check(serial_.setDataBits(QSerialPort::DataBits(s.dataBits)));
  check(serial_.setParity(ToQtParity(s.parity)));
  check(serial_.setStopBits(ToQtStopBits(s.stopBits)));
}

CommError SerialComm::toCommError(QSerialPort::SerialPortError error, const QString& qtText,
                                  bool opening) const {
  using Kind = CommError::Kind;
  CommError::Details details;
  details.port = name_;
  details.device = devicePath_;
  const auto denied = [&] {
    const detail::DeviceUsers users = detail::WhoMayUse(devicePath_);
    details.group = users.group;
    details.user = users.user;
    return CommError(CommErr::PermissionDenied, Kind::PermissionDenied, details);
  };

  switch (error) {
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::UnsupportedOperationError:  // a regular file or a folder, no serial device
      return CommError(CommErr::PortNotExist, Kind::NoSuchPort, details);
    case QSerialPort::PermissionError:
      // Qt says this for a lock held by another program, a busy device and a node we may
      // not open alike; only the last one is the user's to fix.
      if (detail::ProbeDevice(devicePath_, false) == detail::DeviceProblem::AccessDenied)
        return denied();
      [[fallthrough]];
    case QSerialPort::OpenError: {
      const detail::DeviceHolder holder = detail::HolderOf(devicePath_);
      details.holder = holder.program;
      details.holderPid = holder.pid;
      return CommError(CommErr::PortInUse, Kind::InUse, details);
    }
    case QSerialPort::UnknownError:
      if (!opening) break;
      switch (detail::ProbeDevice(devicePath_, true)) {
        case detail::DeviceProblem::NoDevice:
          return CommError(CommErr::PortNotExist, Kind::NoSuchPort, details);
        case detail::DeviceProblem::AccessDenied:
          return denied();
        case detail::DeviceProblem::Unknown:
          break;
      }
      break;
    case QSerialPort::ResourceError:
      // A node whose driver fails the open with an I/O error has no device behind it (the
      // spare /dev/ttyS ports of a PC); "stopped working" is for a port that was in use.
      if (opening) return CommError(CommErr::PortNotExist, Kind::NoSuchPort, details);
      [[fallthrough]];
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
      // Qt's text here is whatever errno held last, often misleading; leave it out.
      return CommError(CommErr::DeviceIoError, Kind::StoppedWorking, details);
    case QSerialPort::NotOpenError:
      return CommError(CommErr::PortNotOpen, Kind::NotOpen, {});
    default:
      break;
  }
  details.reason = qtText;
  return CommError(CommErr::Other, Kind::Other, details);
}

void SerialComm::onSerialError(QSerialPort::SerialPortError error) {
  if (inCall_ > 0 || !serial_.isOpen()) return;
  switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::NotOpenError:
    case QSerialPort::TimeoutError:
      return;
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
      loseDevice(toCommError(error, serial_.errorString()), false);
      return;
    default: {
      const CommError failure = toCommError(error, serial_.errorString());
      serial_.clearError();
      Q_EMIT errorOccurred(failure);
      return;
    }
  }
}

void SerialComm::loseDevice(const CommError& gone, bool insideCall) {
  // Qt keeps a vanished device "open" and repeats the error at full speed: close at once.
  serial_.close();
  serial_.clearError();
  lost_ = true;
  lostError_ = gone;
  const int loss = ++losses_;
  const auto tell = [this, gone, loss] {
    // An open or close since then has made this news stale.
    if (!lost_ || loss != losses_) return;
    Q_EMIT openChanged(false);
    Q_EMIT lost(gone);
  };
  if (insideCall)
    QMetaObject::invokeMethod(this, tell, Qt::QueuedConnection);
  else
    tell();
}

void SerialComm::checkUsable() const {
  if (lost_) throw lostError_;
  if (!serial_.isOpen()) throw CommError(CommErr::PortNotOpen, CommError::Kind::NotOpen, {});
}

void SerialComm::discardInput() {
  InCall call(inCall_);
  checkUsable();
  serial_.clear(QSerialPort::Input);
  (void)serial_.readAll();
}

void SerialComm::write(const QByteArray& frame) {
  InCall call(inCall_);
  checkUsable();
  if (serial_.write(frame) != frame.size()) {
    const CommError error = toCommError(QSerialPort::WriteError, serial_.errorString());
    loseDevice(error, true);
    throw error;
  }
  // Out on the line now rather than at the next event-loop pass: the reply timer is running.
  serial_.flush();
  // A device gone under the write says so here, inside the call, where it is thrown.
  if (const QSerialPort::SerialPortError e = serial_.error();
      e == QSerialPort::WriteError || e == QSerialPort::ResourceError) {
    const CommError error = toCommError(e, serial_.errorString());
    loseDevice(error, true);
    throw error;
  }
}

}  // namespace kestrel
