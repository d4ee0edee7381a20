#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "link/framing.h"
#include "port/commcontrol.h"

namespace kestrel {

// How an awaited command ended.
enum class Reply {
  Accepted,    // a reply line the command's rule accepts
  Refused,     // a reply line it does not
  TimedOut,    // no complete line within the reply time
  PortFailed,  // the port failed or went away meanwhile
};

// One command at a time with the device: frame it, drop what waits in the port, (re)start the
// reply timer, write it; then, when a reply is awaited, judge the first complete reply line or
// time out. The outcome comes once per awaited command, by signal from the event loop, never
// from inside send(); the next command may be sent from the slot that receives it.
class LinkEngine : public QObject {
  Q_OBJECT

 public:
  explicit LinkEngine(CommControl& port, QObject* parent = nullptr);

  // Tests shorten it; the device's contract is 300 ms.
  void setReplyTimeout(int ms) { replyTimeoutMs_ = ms; }

  // Throws CommError when the frame cannot be written (a closed or lost port): no outcome
  // follows then. Throws std::logic_error while a reply is still awaited.
  void send(const QByteArray& command, ReplyRule rule);
  bool awaiting() const { return awaiting_; }

  // The characters received since the last complete line, and the last reply line.
  const QByteArray& ReceiveBuffer() const { return receiveBuffer_; }
  const QByteArray& ReplyLine() const { return replyLine_; }
  // 300 ms from each write, not stopped by a reply: its tick drops what waits in the port.
  const QTimer& TimerComunicacion() const { return timer_; }
  CommControl& port() { return port_; }

  // Beyond this many bytes without a CR the held bytes are dropped.
  static constexpr int kMaxReceiveBuffer = 4096;

  // The steady clock the signals' times are read from, started with the engine.
  const QElapsedTimer& clock() const { return clock_; }

 Q_SIGNALS:
  // error is meaningful for PortFailed only.
  void commandFinished(kestrel::Reply reply, const kestrel::CommError& error);
  // Every frame as written and every complete reply line as it arrives, with the time in
  // nanoseconds on clock(): what a trace, a download log or a benchmark listens to.
  void frameWritten(const QByteArray& frame, qint64 atNs);
  void replyReceived(const QByteArray& line, qint64 atNs);

 private:
  void onDataReceived(const QByteArray& data);
  void onReplyTimer();
  void onPortFailed(const CommError& error);
  void finish(Reply reply, const CommError& error = {});

  CommControl& port_;
  QElapsedTimer clock_;
  QTimer timer_;
  QByteArray receiveBuffer_;
  QByteArray replyLine_;
  int replyTimeoutMs_ = 300;
  bool awaiting_ = false;
  ReplyRule rule_ = ReplyRule::NotAwaited;
  // Which command the timer runs for, and which one is awaited: a tick of an earlier exchange
  // judges nothing.
  quint64 commands_ = 0;
  quint64 timedCommand_ = 0;
  quint64 awaitedCommand_ = 0;
};

}  // namespace kestrel

Q_DECLARE_METATYPE(kestrel::Reply)
