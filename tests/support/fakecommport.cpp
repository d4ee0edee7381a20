#include "fakecommport.h"

#include <QRegularExpression>
#include <QTimer>

#include "texts/usertexts.h"

namespace kestrel::test {

FakeCommPort::FakeCommPort(QObject* parent) : CommControl(parent) {}

int FakeCommPort::ComOf(const QString& device) {
  static const QRegularExpression tty(QStringLiteral("^/dev/ttyS(\\d{1,3})$"));
  static const QRegularExpression com(QStringLiteral("^COM(\\d{1,3})$"));
  if (const auto m = tty.match(device); m.hasMatch()) return m.captured(1).toInt() + 1;
  if (const auto m = com.match(device); m.hasMatch()) return m.captured(1).toInt();
  return 0;
}

bool FakeCommPort::exists(const QString& device) const {
  const int port = ComOf(device);
  return port >= 1 && port <= 255 && !missingPorts.count(port) && !(onlyPorts1to8Exist && port > 8);
}

void FakeCommPort::open(const QString& device, const LineSettings& settings, const QString&) {
  if (open_) throw CommError(CommErr::PortInUse, QStringLiteral("Port already open"));
  const int port = ComOf(device);
  if (!exists(device))
    throw CommError(CommErr::PortNotExist, QStringLiteral("Invalid port number"),
                    QStringLiteral("/dev/fake%1").arg(port));
  if (heldPorts.count(port))
    throw CommError(CommErr::PortInUse, QStringLiteral("Port already open"));
  if (auto it = openErrors.find(port); it != openErrors.end())
    throw CommError(it->second, QStringLiteral("Scripted open failure %1").arg(it->second));
  if (refuseLineSettings)
    throw CommError(CommErr::SetStateFailed,
                    QStringLiteral("The device refused the line settings"));
  port_ = port;
  device_ = device;
  settings_ = settings;
  open_ = true;
  ++openCount;
  openedPorts << port_;
  settingsApplied << settings;
  Q_EMIT openChanged(true);
}

void FakeCommPort::close() {
  if (!open_) return;
  ++closeCount;
  open_ = false;
  waiting_.clear();
  Q_EMIT openChanged(false);
}

void FakeCommPort::setLineSettings(const LineSettings& settings) {
  checkOpen("setLineSettings");
  if (refuseLineSettings)
    throw CommError(CommErr::SetStateFailed,
                    QStringLiteral("The device refused the line settings"));
  settings_ = settings;
  settingsApplied << settings;
}

void FakeCommPort::checkOpen(const char* what) const {
  if (!open_)
    throw CommError(
        CommErr::PortNotOpen,
        QStringLiteral("Operation valid only when the port is open (%1)").arg(QLatin1String(what)));
}

void FakeCommPort::discardInput() {
  checkOpen("discardInput");
  waiting_.clear();
  ++inputClears;
}

void FakeCommPort::write(const QByteArray& frame) {
  checkOpen("write");
  if (failNextWriteWith) {
    const int n = failNextWriteWith;
    failNextWriteWith = 0;
    throw CommError(n, QStringLiteral("Scripted write failure %1").arg(n));
  }
  writes << frame;
  written += frame;
  if (onWrite) onWrite(frame);
}

void FakeCommPort::deliver(const QByteArray& bytes, int delayMs) {
  QTimer::singleShot(delayMs, this, [this, bytes] {
    if (!open_) return;  // a closed port receives nothing
    QByteArray arrived;
    arrived.swap(waiting_);
    arrived += bytes;
    Q_EMIT dataReceived(arrived);
  });
}

void FakeCommPort::simulateLoss(const QString& description) {
  if (!open_) return;
  open_ = false;
  waiting_.clear();
  Q_EMIT openChanged(false);
  Q_EMIT lost(CommError(CommErr::DeviceIoError, description));
}

int ErrorOf(const std::function<void()>& action, QString* description) {
  try {
    action();
  } catch (const CommError& e) {
    if (description) *description = texts::CommErrorText(e);
    return e.number();
  }
  return 0;
}

}  // namespace kestrel::test
