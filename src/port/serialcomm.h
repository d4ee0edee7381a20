#pragma once

#include <QSerialPort>
#include <QString>

#include "port/commcontrol.h"
#include "port/commsettings.h"

namespace kestrel {

// The serial-port control on a real port, through QSerialPort.
//
// Port n is the device ResolvePort gives: its [Devices] assignment, else the entry COMn in the
// program's folder (a symbolic link to /dev/ttyUSB0, /dev/serial/by-id/..., a pseudo-terminal),
// else /dev/ttyS<n-1> ("COMn" on Windows). Links are resolved before opening, so the lock that
// marks a port as held is the same whichever name opened it.
class SerialComm : public CommControl {
  Q_OBJECT

 public:
  explicit SerialComm(QObject* parent = nullptr);
  ~SerialComm() override;

  int CommPort() const override { return port_; }
  void setCommPort(int port) override;
  bool PortExists(int port) const override;
  QString Settings() const override { return FormatLineSettings(settings_); }
  void setSettings(const QString& settings) override;
  bool PortOpen() const override { return serial_.isOpen(); }
  bool OnPseudoTerminal() const override { return serial_.isOpen() && pseudoTerminal_; }
  void setPortOpen(bool open) override;
  int InBufferCount() const override;
  void setInBufferCount(int count) override;
  QByteArray Input() override;
  void setOutput(const QByteArray& data) override;

  // The device the port number stands for now; for an assignment that names none, the
  // assignment as written (the port then does not exist).
  static QString DevicePathForPort(int port);
  // Opens this device (a path, or a port name on Windows) instead of the one the port number
  // stands for; links are resolved at each open. Empty goes back to the port number.
  void setDevice(const QString& device) { device_ = device; }
  // The COM numbers assigned to this device by name (links resolved); empty when none.
  static QList<int> AssignedComNumbers(const QString& devicePath);
  QString devicePath() const override { return serial_.isOpen() ? devicePath_ : QString(); }

 private:
  // Every QSerialPort failure becomes one of our numbers here; opening tells whether it came
  // from an open attempt rather than from a port in use.
  CommError toCommError(QSerialPort::SerialPortError error, const QString& qtText,
                        const QString& path, bool opening = false) const;
  void applyLineSettings(const LineSettings& settings);
  void checkUsable() const;
  void onSerialError(QSerialPort::SerialPortError error);
  void onBytesWritten();

  QSerialPort serial_;
  int port_ = 1;
  QString device_;      // named directly; empty: the port number decides
  QString devicePath_;  // of the last open attempt
  LineSettings settings_{};
  bool pseudoTerminal_ = false;  // of the last open
  bool lost_ = false;  // the device went away while open; cleared by the next open or close
  QString lostDescription_;
  bool sendEventQueued_ = false;
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

// Asks the driver to pass received bytes on at once rather than after a USB-serial adapter's
// latency timer (16 ms on common chips), which would otherwise be paid on every answer. A driver
// that refuses is left as it is.
void RequestLowLatency(const QSerialPort& port);

// The device is the far end of a pseudo-terminal, as the device simulator offers, rather
// than a serial port.
bool IsPseudoTerminal(const QString& path);

}  // namespace detail

}  // namespace kestrel
