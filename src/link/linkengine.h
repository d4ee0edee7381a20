#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <span>

#include "port/commcontrol.h"

namespace kestrel {

inline constexpr char kStatusOk[] = "OK";
inline constexpr char kStatusTimeout[] = "TIMEOUT";

// One exchange with the device at a time: frame, clear input, arm the reply timer, write,
// and wait (in the event loop, never spinning) for a reply line or the timeout.

class LinkEngine : public QObject {
  Q_OBJECT

 public:
  explicit LinkEngine(CommControl& port, QObject* parent = nullptr);

  // Tests shorten it; the device's contract is 300 ms.
  void setReplyTimeout(int ms) { replyTimeoutMs_ = ms; }

  QByteArray SendCommand(const QByteArray& command, bool awaitReply, QString& status);
  bool WriteBlock(std::span<const uint8_t> buffer, int32_t address, int32_t count);
  bool SendLogoInfo(int32_t checksum, int16_t second);

  void commPort1_OnComm(const QByteArray& data);
  void TimerComunicacion_Timer();

  QString LinkStatus() const { return status_; }
  const QByteArray& ReceiveBuffer() const { return receiveBuffer_; }
  const QByteArray& ReplyLine() const { return replyLine_; }
  QTimer& TimerComunicacion() { return timer_; }
  CommControl& port() { return port_; }

  // Beyond this many bytes without a CR the held bytes are dropped.
  static constexpr int kMaxReceiveBuffer = 4096;

  // The steady clock the signals' times are read from, started with the engine.
  const QElapsedTimer& clock() const { return clock_; }

 Q_SIGNALS:
  // Every frame as written and every complete reply line as it arrives, with the time in
  // nanoseconds on clock(): what a trace, a download log or a benchmark listens to.
  void frameWritten(const QByteArray& frame, qint64 atNs);
  void replyReceived(const QByteArray& line, qint64 atNs);

 private:
  // A port error inside a handler cannot travel through the event loop; it is kept here and
  // rethrown by the wait that is in progress.
  void portErrorInHandler(const CommError& error);
  void dropWaitingInput();

  CommControl& port_;
  QElapsedTimer clock_;
  QTimer timer_;
  QByteArray receiveBuffer_;
  QByteArray replyLine_;
  QString status_;
  int replyTimeoutMs_ = 300;
  bool waiting_ = false;
  std::optional<CommError> pendingError_;
};

}  // namespace kestrel
