#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringList>

#include "port/commcontrol.h"

namespace kestrel {

// The serial port on a real device, through QSerialPort. Links are resolved before opening, so
// the lock that marks a port as held is the same whichever name opened it.
class SerialComm : public CommControl {
  Q_OBJECT

 public:
  explicit SerialComm(QObject* parent = nullptr);
  ~SerialComm() override;

  void open(const QString& device, const LineSettings& settings, const QString& name = {}) override;
  void close() override;
  bool isOpen() const override { return serial_.isOpen(); }
  QString openDevice() const override { return serial_.isOpen() ? devicePath_ : QString(); }
  bool onPseudoTerminal() const override { return serial_.isOpen() && pseudoTerminal_; }
  void setLineSettings(const LineSettings& settings) override;
  void write(const QByteArray& frame) override;
  void discardInput() override;

 private:
  // Every QSerialPort failure becomes one of our numbers here; opening tells whether it came
  // from an open attempt rather than from a port in use.
  CommError toCommError(QSerialPort::SerialPortError error, const QString& qtText,
                        bool opening = false) const;
  void applyLineSettings(const LineSettings& settings);
  void checkUsable() const;
  void onSerialError(QSerialPort::SerialPortError error);
  // Closes after the device went away; the news waits for the event loop when a call of ours
  // found it.
  void loseDevice(const CommError& gone, bool insideCall);

  QSerialPort serial_;
  QString name_;        // how the user knows the port of the last open, when not by its device
  QString devicePath_;  // the device of the last open, links resolved
  LineSettings settings_{};
  bool pseudoTerminal_ = false;  // of the last open
  bool lost_ = false;    // the device went away while open; cleared by the next open or close
  CommError lostError_;  // what the lost device said, repeated to calls until then
  int losses_ = 0;
  int inCall_ = 0;  // failures inside our own calls are thrown, not signalled
};

namespace detail {

// Why a device could not be opened, as the operating system sees it. Probing never opens a
// device that may be held by someone else unless allowed to.
enum class DeviceProblem { Unknown, NoDevice, AccessDenied };
DeviceProblem ProbeDevice(const QString& path, bool mayOpen);

// Who may read and write a device node: its owner's name when the owner may, and its group's
// name ("dialout" on most Linux systems) when the group may and is not root's. Empty where
// not so or not known.
struct DeviceUsers {
  QString user;
  QString group;
};
DeviceUsers WhoMayUse(const QString& path);

// The process holding a device, as its lock file (LCK..name, in the folders serial programs
// lock in) names it, and that process's program name where the system tells; pid 0 when no
// lock file names a running process.
struct DeviceHolder {
  qint64 pid = 0;
  QString program;
};
DeviceHolder HolderOf(const QString& devicePath, const QStringList& lockFolders = {});

// Asks the driver to pass received bytes on at once rather than after a USB-serial adapter's
// latency timer (16 ms on common chips), which would otherwise be paid on every answer. A driver
// that refuses is left as it is.
void RequestLowLatency(const QSerialPort& port);

// The device is the far end of a pseudo-terminal, as the device simulator offers, rather
// than a serial port.
bool IsPseudoTerminal(const QString& path);

}  // namespace detail

}  // namespace kestrel
