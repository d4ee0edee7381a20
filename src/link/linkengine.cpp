#include "link/linkengine.h"

#include <algorithm>
#include <stdexcept>

#include "link/wirelog.h"

namespace kestrel {

LinkEngine::LinkEngine(CommControl& port, QObject* parent) : QObject(parent), port_(port) {
  clock_.start();
  // The reply deadline is short; a coarse timer could fire up to 5 % late.
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setSingleShot(true);
  connect(&port_, &CommControl::dataReceived, this, &LinkEngine::onDataReceived);
  connect(&timer_, &QTimer::timeout, this, &LinkEngine::onReplyTimer);
  // Without this a pulled adapter would pass for a silent device once the timer ticks. Line
  // errors the port survives are left to the reply timer.
  connect(&port_, &CommControl::lost, this, &LinkEngine::onPortFailed);
}

void LinkEngine::send(const QByteArray& command, ReplyRule rule) {
  if (awaiting_) throw std::logic_error("LinkEngine::send: a reply is still awaited");
  QByteArray frame = command;
  AppendChecksum(frame);

  port_.discardInput();
  // The start of a reply that timed out would lead the next line: a lost CR after ACK would
  // turn the next refusal into an acceptance.
  receiveBuffer_.clear();

  timedCommand_ = ++commands_;
  timer_.start(replyTimeoutMs_);

  // Awaited before the write: whatever the write brings about belongs to this command.
  awaiting_ = rule != ReplyRule::NotAwaited;
  rule_ = rule;
  awaitedCommand_ = commands_;
  try {
    port_.write(frame);
  } catch (...) {
    awaiting_ = false;
    throw;
  }
  const qint64 writtenAt = clock_.nsecsElapsed();
  qCDebug(lcWire).noquote() << "out" << WireText(frame);
  Q_EMIT frameWritten(frame, writtenAt);
}

void LinkEngine::onDataReceived(const QByteArray& data) {
  receiveBuffer_ += data;
  if (!receiveBuffer_.contains(kCr)) {
    // A stream of line noise without CR would otherwise grow without end.
    if (receiveBuffer_.size() > kMaxReceiveBuffer) receiveBuffer_.clear();
    return;
  }

  const qint64 receivedAt = clock_.nsecsElapsed();
  QByteArrayList lines;
  for (qsizetype start = 0, cr; (cr = receiveBuffer_.indexOf(kCr, start)) >= 0; start = cr + 1)
    lines << receiveBuffer_.mid(start, cr - start + 1);
  // Lines that arrive together answer the command in flight. A late ACK (of the unawaited
  // empty frame, or a duplicate) may come in front of its refusal and must not hide it: the
  // refusal is then the reply, otherwise the first line is.
  const auto refusal = std::find_if(lines.cbegin(), lines.cend(), IsRefusal);
  replyLine_ = refusal != lines.cend() ? *refusal : lines.front();
  receiveBuffer_.clear();  // what follows the last CR goes with them
  for (const QByteArray& line : lines) {
    qCDebug(lcWire).noquote() << "in " << WireText(line);
    Q_EMIT replyReceived(line, receivedAt);
  }
  // A line after the time-out answers nobody.
  if (awaiting_) finish(ReplyAccepted(rule_, replyLine_) ? Reply::Accepted : Reply::Refused);
}

void LinkEngine::onReplyTimer() {
  const bool timesOut = awaiting_ && awaitedCommand_ == timedCommand_;
  // The user may close the port while the timer of the last command is still armed.
  if (port_.isOpen()) {
    try {
      port_.discardInput();
    } catch (const CommError& error) {
      onPortFailed(error);
      return;
    }
  }
  qCDebug(lcWire) << "reply timer expired";
  if (timesOut) finish(Reply::TimedOut);
}

void LinkEngine::onPortFailed(const CommError& error) {
  // While idle nobody can act on it; the next command meets the same fault itself.
  if (awaiting_) finish(Reply::PortFailed, error);
}

void LinkEngine::finish(Reply reply, const CommError& error) {
  awaiting_ = false;
  Q_EMIT commandFinished(reply, error);
}

}  // namespace kestrel
