#include "link/linkengine.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <stdexcept>

#include "link/framing.h"
#include "link/wirelog.h"

namespace kestrel {

LinkEngine::LinkEngine(CommControl& port, QObject* parent) : QObject(parent), port_(port) {
  clock_.start();
  // The reply deadline is short; a coarse timer could fire up to 5 % late.
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&port_, &CommControl::OnComm, this, &LinkEngine::commPort1_OnComm);
  connect(&timer_, &QTimer::timeout, this, &LinkEngine::TimerComunicacion_Timer);
  // Without this a pulled adapter would pass for a silent device once the timer ticks.
  connect(&port_, &CommControl::PortLost, this, [this](const QString& description) {
    portErrorInHandler(CommError(CommErr::DeviceIoError, description));
  });
}

QByteArray LinkEngine::SendCommand(const QByteArray& command, bool awaitReply, QString& status) {
  QByteArray frame = command;
  AppendChecksum(frame);

  port_.Tag.clear();
  dropWaitingInput();
  // The start of a reply that timed out would lead the next line: a lost CR after ACK would
  // turn the next refusal into an acceptance.
  receiveBuffer_.clear();

  timer_.stop();
  timer_.setInterval(replyTimeoutMs_);
  timer_.start();

  port_.setOutput(frame);
  const qint64 writtenAt = clock_.nsecsElapsed();
  qCDebug(lcWire).noquote() << "out" << WireText(frame);
  Q_EMIT frameWritten(frame, writtenAt);

  if (awaitReply) {
    pendingError_.reset();
    waiting_ = true;
    // Blocks in the event loop until the next event; the reply timer bounds the wait.
    while (port_.Tag.isEmpty() && !pendingError_)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    waiting_ = false;
    if (pendingError_) {
      const CommError error = *pendingError_;
      pendingError_.reset();
      throw error;
    }
  }

  status = port_.Tag;
  return replyLine_;
}

bool LinkEngine::WriteBlock(std::span<const uint8_t> buffer, int32_t address, int32_t count) {
  if (count < 0 || static_cast<size_t>(count) > buffer.size())
    throw std::out_of_range("WriteBlock: count exceeds the buffer");
  QString status;
  const QByteArray reply =
      SendCommand(BlockWriteText(address, buffer.first(static_cast<size_t>(count))), true, status);
  return BlockWriteAccepted(status, reply);
}

bool LinkEngine::SendLogoInfo(int32_t checksum, int16_t second) {
  QString status;
  const QByteArray reply = SendCommand(LogoInfoText(checksum, second), true, status);
  return LogoInfoAccepted(status, reply);
}

void LinkEngine::commPort1_OnComm() {
  const int code = port_.CommEvent();
  if (code == CommEv::RxOver) {
    // What is left of an overflowed reply cannot be trusted; its CR may be lost, so the wait
    // ends with the timer.
    try {
      dropWaitingInput();
    } catch (const CommError& error) {
      portErrorInHandler(error);
    }
    receiveBuffer_.clear();
    return;
  }
  if (code != CommEv::Receive) return;

  try {
    receiveBuffer_ += port_.Input();
  } catch (const CommError& error) {
    portErrorInHandler(error);
    return;
  }

  if (receiveBuffer_.contains(kCr)) {
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
    port_.Tag = QString::fromLatin1(kStatusOk);
    for (const QByteArray& line : lines) {
      qCDebug(lcWire).noquote() << "in " << WireText(line);
      Q_EMIT replyReceived(line, receivedAt);
    }
  } else if (receiveBuffer_.size() > kMaxReceiveBuffer) {
    // A stream of line noise without CR would otherwise grow without end.
    receiveBuffer_.clear();
  }
}

void LinkEngine::TimerComunicacion_Timer() {
  timer_.stop();
  // The user may close the port while the timer of the last command is still armed.
  if (port_.PortOpen()) {
    try {
      dropWaitingInput();
    } catch (const CommError& error) {
      portErrorInHandler(error);
    }
  }
  port_.Tag = QString::fromLatin1(kStatusTimeout);
  qCDebug(lcWire) << "reply timer expired";
}

void LinkEngine::dropWaitingInput() {
  port_.setInBufferCount(0);
  (void)port_.Input();
}

void LinkEngine::portErrorInHandler(const CommError& error) {
  // Outside a wait nobody can act on it; the next command meets the same fault itself.
  if (waiting_ && !pendingError_) pendingError_ = error;
}

}  // namespace kestrel
