#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <map>
#include <set>

#include "port/commcontrol.h"

namespace kestrel::test {

// A scripted serial port. Scripts name ports by COM number: the device a COM number stands
// for by default (/dev/ttyS<n-1>, COMn) is port n here, any other device is port 0. Ports
// exist unless listed as missing; listed held ports refuse to open with 8005. Arrivals are
// delivered through the event loop like the real port's.
class FakeCommPort : public CommControl {
  Q_OBJECT

 public:
  explicit FakeCommPort(QObject* parent = nullptr);

  void open(const QString& device, const LineSettings& settings,
            const QString& name = {}) override;
  void close() override;
  bool isOpen() const override { return open_; }
  QString openDevice() const override { return open_ ? device_ : QString(); }
  bool onPseudoTerminal() const override { return open_ && pseudoTerminalPorts.count(port_); }
  void setLineSettings(const LineSettings& settings) override;
  void write(const QByteArray& frame) override;
  void discardInput() override;

  // The COM number a device stands for here (0: none).
  static int ComOf(const QString& device);
  // Whether the device exists, as the script says: what the port connection is to ask.
  bool exists(const QString& device) const;
  // The port open now, or last opened.
  int port() const { return port_; }
  const LineSettings& lineSettings() const { return settings_; }

  // --- script ---
  std::set<int> missingPorts;       // open: 8002
  std::set<int> heldPorts;          // open: 8005
  std::map<int, int> openErrors;    // port -> error number thrown on open
  int failNextWriteWith = 0;        // throw this number from the next write, once
  bool refuseLineSettings = false;  // open and setLineSettings: 8015
  bool onlyPorts1to8Exist = false;  // convenience: 9..255 missing
  std::set<int> pseudoTerminalPorts;  // a simulated device plays these

  // Called after every write with the bytes written; the script answers with deliver().
  std::function<void(const QByteArray& frame)> onWrite;

  // Bytes arriving after delayMs (0 = next event-loop pass), with whatever waited before them.
  void deliver(const QByteArray& bytes, int delayMs = 0);
  // Bytes waiting in the port, delivered with the next arrival unless discarded first.
  void putWaiting(const QByteArray& bytes) { waiting_ += bytes; }
  // The device vanishes while open: the port closes itself and says so.
  void simulateLoss(const QString& description = QStringLiteral("device removed"));

  // --- record ---
  QList<QByteArray> writes;  // each write call
  QByteArray written;        // everything written, in order
  int openCount = 0;
  int closeCount = 0;
  int inputClears = 0;
  QList<int> openedPorts;  // the port of each successful open
  QList<LineSettings> settingsApplied;

 private:
  void checkOpen(const char* what) const;
  int port_ = 0;
  QString device_;
  LineSettings settings_{};
  bool open_ = false;
  QByteArray waiting_;
};

// The number of the CommError an action throws, or 0; *description gets its text.
int ErrorOf(const std::function<void()>& action, QString* description = nullptr);

}  // namespace kestrel::test
