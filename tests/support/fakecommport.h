#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <map>
#include <set>

#include "port/commcontrol.h"
#include "port/commsettings.h"

namespace kestrel::test {

// A scripted serial port. Ports exist unless listed as missing; listed held ports refuse to
// open with 8005. Received bytes and events are delivered through the event loop like the
// real port, each delivery one OnComm.
class FakeCommPort : public CommControl {
  Q_OBJECT

 public:
  explicit FakeCommPort(QObject* parent = nullptr);

  int CommPort() const override { return port_; }
  void setCommPort(int port) override;
  bool PortExists(int port) const override;
  QString Settings() const override { return FormatLineSettings(settings_); }
  void setSettings(const QString& settings) override;
  bool PortOpen() const override { return open_; }
  void setPortOpen(bool open) override;
  int InBufferCount() const override;
  void setInBufferCount(int count) override;
  QByteArray Input() override;
  void setOutput(const QByteArray& data) override;
  bool OnPseudoTerminal() const override { return open_ && pseudoTerminalPorts.count(port_); }

  // --- script ---
  std::set<int> missingPorts;       // open/setCommPort: 8002
  std::set<int> heldPorts;          // open: 8005
  std::map<int, int> openErrors;    // port -> error number thrown on open
  int failNextOutputWith = 0;       // throw this number from the next write, once
  bool onlyPorts1to8Exist = false;  // convenience: 9..255 missing
  std::set<int> pseudoTerminalPorts;  // a simulated device plays these

  // Called after every write with the bytes written; the script answers with deliver().
  std::function<void(const QByteArray& frame)> onWrite;

  // Queue bytes for arrival after delayMs (0 = next event-loop pass), raising one receive event.
  void deliver(const QByteArray& bytes, int delayMs = 0);
  // Queue an event of another code (no bytes arrive).
  void deliverEvent(int code, int delayMs = 0);
  // Put bytes in the input buffer without raising an event.
  void putWaiting(const QByteArray& bytes) { input_ += bytes; }
  // The device vanishes while open: the port closes itself and says so through PortLost.
  void simulateLoss(const QString& description = QStringLiteral("device removed"));

  // --- record ---
  QList<QByteArray> writes;  // each setOutput call
  QByteArray written;        // everything written, in order
  int openCount = 0;
  int closeCount = 0;
  int inputClears = 0;
  QList<int> openedPorts;  // the CommPort of each successful open
  QStringList settingsApplied;

 private:
  void checkOpen(const char* what) const;
  int port_ = 1;
  LineSettings settings_{};
  bool open_ = false;
  QByteArray input_;
};

// The number of the CommError an action throws, or 0; *description gets its text.
int ErrorOf(const std::function<void()>& action, QString* description = nullptr);

}  // namespace kestrel::test
