#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <stdexcept>
#include <string>

#include "port/commsettings.h"

namespace kestrel {

// Error numbers raised by the serial layer. The program tells 8002 and 8005 apart.
namespace CommErr {
inline constexpr int PortNotExist = 8002;      // no such device
inline constexpr int PortInUse = 8005;         // another program holds the port
inline constexpr int SetStateFailed = 8015;    // the device refused the line settings
inline constexpr int PortNotOpen = 8018;       // operation valid only when the port is open
inline constexpr int DeviceIoError = 8020;     // read/write failed, device removed
inline constexpr int Other = 8021;             // any other failure
inline constexpr int PermissionDenied = 8100;  // no access to the device node
}  // namespace CommErr

// A failure of the serial layer: its number, what went wrong and the details that say it
// (worded where it is shown, in src/texts).
class CommError : public std::runtime_error {
 public:
  enum class Kind {
    Other,             // reason: the system's own words
    NoSuchPort,        // port, device
    NoDeviceAssigned,  // port, device: the [Devices] assignment that names no device
    InvalidNumber,     // port: the number asked for
    AlreadyOpen,       // this port object has a device open already
    InUse,             // port: another program holds it
    PermissionDenied,  // port, and group or user: who may use the device
    SettingsRefused,   // device, settings, reason
    StoppedWorking,    // port
    NotOpen,
  };
  struct Details {
    QString port;      // as the user knows it: COM3, or the device itself
    QString device;    // the device an open tried (a path, a system port name)
    QString group;     // the group that may use the device
    QString user;      // the one user who may, where no group may
    QString settings;  // line settings as written, 38400,n,8,1
    QString reason;    // the system's words
    QString holder;    // InUse: the program holding the port, where the system tells
    qint64 holderPid = 0;
  };

  CommError() : CommError(0, Kind::Other, Details{}) {}
  CommError(int number, Kind kind, Details details)
      : std::runtime_error("serial port error " + std::to_string(number)),
        number_(number),
        kind_(kind),
        details_(std::move(details)) {}
  // A failure told only by the system's words (or a stand-in port's).
  CommError(int number, const QString& reason, const QString& device = QString())
      : CommError(number, Kind::Other, Details{{}, device, {}, {}, {}, reason, {}, 0}) {}

  int number() const { return number_; }
  Kind kind() const { return kind_; }
  const Details& details() const { return details_; }
  const QString& reason() const { return details_.reason; }
  // The device an open tried (a path, a system port name); empty when none was tried.
  const QString& device() const { return details_.device; }

 private:
  int number_;
  Kind kind_;
  Details details_;
};

// A serial port: one device, opened with its line settings, written whole frames, and telling
// what arrives. Calls that fail throw CommError. Signals come from the event loop, never from
// inside a call, except openChanged, which follows open() and close() at once.
class CommControl : public QObject {
  Q_OBJECT

 public:
  explicit CommControl(QObject* parent = nullptr) : QObject(parent) {}
  ~CommControl() override = default;

  // Opens the device (a path, or a system port name on Windows) with these settings: 8002 no
  // such device, 8005 held by another program, 8015 settings refused, 8100 no permission.
  // name is how the user knows the port (COM3), for messages; empty: the device names it.
  virtual void open(const QString& device, const LineSettings& settings,
                    const QString& name = {}) = 0;
  virtual void close() = 0;  // also ends the state of a lost device; never fails
  virtual bool isOpen() const = 0;
  // The device open now, links resolved; empty while closed.
  virtual QString openDevice() const = 0;
  // True while the port is open on a pseudo-terminal: a program (the device simulator) plays
  // the device and no serial line is involved.
  virtual bool onPseudoTerminal() const { return false; }

  // Applies line settings to the open port at once; a refusal (8015) keeps the old ones.
  virtual void setLineSettings(const LineSettings& settings) = 0;
  // The whole frame, out on the line when the call returns.
  virtual void write(const QByteArray& frame) = 0;
  // Drops everything received and not yet delivered.
  virtual void discardInput() = 0;

 Q_SIGNALS:
  // Every arrival, as it came.
  void dataReceived(const QByteArray& data);
  // A failure the port survives: it stays open.
  void errorOccurred(const kestrel::CommError& error);
  // The device went away while the port was open (adapter pulled); the port is closed already.
  void lost(const kestrel::CommError& error);
  void openChanged(bool open);
};

}  // namespace kestrel

Q_DECLARE_METATYPE(kestrel::CommError)
