#include "fakecommport.h"

#include <QTimer>

namespace kestrel::test {

FakeCommPort::FakeCommPort(QObject* parent) : CommControl(parent) {}

void FakeCommPort::setCommPort(int port) {
  if (port < 1 || port > 255)
    throw CommError(CommErr::PortNotExist, QStringLiteral("Invalid port number"));
  if (open_)
    throw CommError(CommErr::Other, QStringLiteral("Operation not valid while the port is opened"));
  port_ = port;
}

bool FakeCommPort::PortExists(int port) const {
  return port >= 1 && port <= 255 && !missingPorts.count(port) && !(onlyPorts1to8Exist && port > 8);
}

void FakeCommPort::setSettings(const QString& settings) {
  const auto parsed = ParseLineSettings(settings);
  if (!parsed)
    throw CommError(CommErr::InvalidPropertyValue, QStringLiteral("Invalid property value"));
  settings_ = *parsed;
  settingsApplied << settings;
}

void FakeCommPort::setPortOpen(bool open) {
  if (!open) {
    const bool wasOpen = open_;
    if (open_) ++closeCount;
    open_ = false;
    input_.clear();
    if (wasOpen) Q_EMIT OpenChanged();
    return;
  }
  if (open_) throw CommError(CommErr::PortInUse, QStringLiteral("Port already open"));
  if (!PortExists(port_))
    throw CommError(CommErr::PortNotExist, QStringLiteral("Invalid port number"),
                    QStringLiteral("/dev/fake%1").arg(port_));
  if (heldPorts.count(port_))
    throw CommError(CommErr::PortInUse, QStringLiteral("Port already open"));
  if (auto it = openErrors.find(port_); it != openErrors.end())
    throw CommError(it->second, QStringLiteral("Scripted open failure %1").arg(it->second));
  open_ = true;
  ++openCount;
  openedPorts << port_;
  Q_EMIT OpenChanged();
}

void FakeCommPort::checkOpen(const char* what) const {
  if (!open_)
    throw CommError(
        CommErr::PortNotOpen,
        QStringLiteral("Operation valid only when the port is open (%1)").arg(QLatin1String(what)));
}

int FakeCommPort::InBufferCount() const {
  checkOpen("InBufferCount");
  return int(input_.size());
}

void FakeCommPort::setInBufferCount(int count) {
  checkOpen("InBufferCount");
  if (count == 0) {
    input_.clear();
    ++inputClears;
  }
}

QByteArray FakeCommPort::Input() {
  checkOpen("Input");
  QByteArray all;
  all.swap(input_);
  return all;
}

void FakeCommPort::setOutput(const QByteArray& data) {
  checkOpen("Output");
  if (failNextOutputWith) {
    const int n = failNextOutputWith;
    failNextOutputWith = 0;
    throw CommError(n, QStringLiteral("Scripted write failure %1").arg(n));
  }
  writes << data;
  written += data;
  if (onWrite) onWrite(data);
}

void FakeCommPort::deliver(const QByteArray& bytes, int delayMs) {
  QTimer::singleShot(delayMs, this, [this, bytes] {
    if (!open_) return;  // a closed port receives nothing
    input_ += bytes;
    if (RThreshold() > 0) raiseComm(CommEv::Receive);
  });
}

void FakeCommPort::deliverEvent(int code, int delayMs) {
  QTimer::singleShot(delayMs, this, [this, code] {
    if (open_) raiseComm(code);
  });
}

void FakeCommPort::simulateLoss(const QString& description) {
  if (!open_) return;
  open_ = false;
  input_.clear();
  Q_EMIT OpenChanged();
  Q_EMIT PortLost(description);
}

int ErrorOf(const std::function<void()>& action, QString* description) {
  try {
    action();
  } catch (const CommError& e) {
    if (description) *description = e.description();
    return e.number();
  }
  return 0;
}

}  // namespace kestrel::test
