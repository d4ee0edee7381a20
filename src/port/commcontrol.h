#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <stdexcept>

namespace kestrel {

// Error numbers raised by the serial layer. The program tells 8002 and 8005 apart; the others
// carry a description that is shown to the user as it stands.
namespace CommErr {
inline constexpr int InvalidPropertyValue = 380;  // settings text refused
inline constexpr int PortNotExist = 8002;         // invalid port number / no such device
inline constexpr int PortInUse = 8005;            // another program holds the port
inline constexpr int SetStateFailed = 8015;       // the device refused the line settings
inline constexpr int PortNotOpen = 8018;          // operation valid only when the port is open
inline constexpr int DeviceIoError = 8020;        // read/write failed, device removed
inline constexpr int Other = 8021;                // any other failure; Qt's description
inline constexpr int PermissionDenied = 8100;     // no access to the device node
}  // namespace CommErr

// Event codes delivered through OnComm (CommEvent).
namespace CommEv {
inline constexpr int Send = 1;
inline constexpr int Receive = 2;
inline constexpr int Cts = 3;
inline constexpr int Dsr = 4;
inline constexpr int Cd = 5;
inline constexpr int Ring = 6;
inline constexpr int Eof = 7;
inline constexpr int Break = 1001;
inline constexpr int Frame = 1004;
inline constexpr int Overrun = 1006;
inline constexpr int RxOver = 1008;
inline constexpr int RxParity = 1009;
inline constexpr int TxFull = 1010;
inline constexpr int Dcb = 1011;
}  // namespace CommEv

class CommError : public std::runtime_error {
 public:
  CommError(int number, const QString& description, const QString& device = QString())
      : std::runtime_error(description.toStdString()),
        number_(number),
        description_(description),
        device_(device) {}
  int number() const { return number_; }
  const QString& description() const { return description_; }
  // The device an open tried (a path, a system port name); empty when none was tried.
  const QString& device() const { return device_; }

 private:
  int number_;
  QString description_;
  QString device_;
};

// The serial-port control: an MSComm-like object. Property setters that touch the device
// throw CommError. OnComm is delivered through the Qt event loop, never from inside a call.
class CommControl : public QObject {
  Q_OBJECT

 public:
  explicit CommControl(QObject* parent = nullptr) : QObject(parent) {}
  ~CommControl() override = default;

  virtual int CommPort() const = 0;
  virtual void setCommPort(int port) = 0;  // 1..255, else 8002
  // Whether port n exists, decided without opening it where the system can tell, so no
  // modem line of an unrelated port moves. A port another program holds exists.
  virtual bool PortExists(int port) const = 0;

  // "rate,parity,data,stop", e.g. "9600,n,8,1"; a refused text throws 380 and keeps the old one.
  virtual QString Settings() const = 0;
  virtual void setSettings(const QString& settings) = 0;

  virtual bool PortOpen() const = 0;
  virtual void setPortOpen(bool open) = 0;

  virtual int InBufferCount() const = 0;
  virtual void setInBufferCount(int count) = 0;  // 0 drops everything waiting

  virtual QByteArray Input() = 0;  // all waiting bytes (InputLen 0)
  virtual void setOutput(const QByteArray& data) = 0;

  int InputLen() const { return inputLen_; }
  void setInputLen(int n) { inputLen_ = n; }
  int RThreshold() const { return rThreshold_; }
  void setRThreshold(int n) { rThreshold_ = n; }
  int SThreshold() const { return sThreshold_; }
  void setSThreshold(int n) { sThreshold_ = n; }

  int CommEvent() const { return commEvent_; }

  // True while the port is open on a pseudo-terminal: a program (the device simulator) plays
  // the device and no serial line is involved.
  virtual bool OnPseudoTerminal() const { return false; }
  // The device the open port uses (a path, links resolved, or a system port name); empty
  // while closed, or where the control cannot tell.
  virtual QString devicePath() const { return {}; }

  QString Tag;  // free slot; the link engine keeps LinkStatus here

 Q_SIGNALS:
  void OnComm();
  // The device went away while the port was open (adapter pulled); the port is closed
  // already and the next operation that needs it raises DeviceIoError.
  void PortLost(const QString& description);
  // The port was opened or closed, by a call or because the device went away. Emitted at
  // once, from inside the call: receivers only read the port's state.
  void OpenChanged();

 protected:
  // Implementations call this from an event-loop callback, never from inside a property call.
  void raiseComm(int eventCode) {
    commEvent_ = eventCode;
    Q_EMIT OnComm();
  }

 private:
  int inputLen_ = 0;
  int rThreshold_ = 0;
  int sThreshold_ = 0;
  int commEvent_ = 0;
};

}  // namespace kestrel
