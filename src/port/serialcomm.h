#pragma once

#include <QSerialPort>
#include <QString>

#include "port/commcontrol.h"
#include "port/commsettings.h"

namespace kestrel {

// The serial-port control on a real port, through QSerialPort.
//
// Port n is "COMn" on Windows. Elsewhere it is the entry COMn in the program's folder when
// there is one (a symbolic link to /dev/ttyUSB0, /dev/serial/by-id/..., a pseudo-terminal),
// else /dev/ttyS<n-1>. Links are resolved before opening, so the lock that marks a port as
// held is the same whichever name opened it.
class SerialComm : public CommControl {
  Q_OBJECT

 public:
  explicit SerialComm(QObject* parent = nullptr);
  ~SerialComm() override;

  int CommPort() const override { return port_; }
  void setCommPort(int port) override;
  QString Settings() const override { return FormatLineSettings(settings_); }
  void setSettings(const QString& settings) override;
  bool PortOpen() const override { return serial_.isOpen(); }
  bool OnPseudoTerminal() const override { return serial_.isOpen() && pseudoTerminal_; }
  void setPortOpen(bool open) override;
  int InBufferCount() const override;
  void setInBufferCount(int count) override;
  QByteArray Input() override;
  void setOutput(const QByteArray& data) override;

  // The device the port number stands for now.
  static QString DevicePathForPort(int port);
  // The COM numbers assigned to this device by name (links resolved); empty when none.
  static QList<int> AssignedComNumbers(const QString& devicePath);
  // The device the open port uses (links resolved); empty while closed.
  QString devicePath() const { return serial_.isOpen() ? devicePath_ : QString(); }

 private:
  // Every QSerialPort failure becomes one of our numbers here.
  CommError toCommError(QSerialPort::SerialPortError error, const QString& qtText,
                        const QString& path) const;
  void applyLineSettings(const LineSettings& settings);
  void checkUsable() const;
  void onSerialError(QSerialPort::SerialPortError error);
  void onBytesWritten();

  QSerialPort serial_;
  int port_ = 1;
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

// The group that owns the device node ("dialout" on most Linux systems); empty if unknown.
QString DeviceGroup(const QString& path);

// The device is the far end of a pseudo-terminal, as the device simulator offers, rather
// than a serial port.
bool IsPseudoTerminal(const QString& path);

}  // namespace detail

}  // namespace kestrel
