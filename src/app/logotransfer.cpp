#include "app/logotransfer.h"

#include <algorithm>
#include <exception>

namespace kestrel {

namespace {

constexpr int kBlockSize = 14;
constexpr int32_t kFirstLogoAddress = 2;
constexpr int kLogoBlocks = (kLogoBytes + kBlockSize - 1) / kBlockSize;  // 129
constexpr int kLogoInfoStep = kLogoBlocks + 1;
// The two bytes before the logo, for device addresses 0 and 1.
constexpr uint8_t kHeader[] = {0x00, 0x01};

TransferOutcome Failed(TransferResult result) {
  TransferOutcome outcome;
  outcome.result = result;
  return outcome;
}

TransferOutcome PortFailure(const CommError& error) {
  TransferOutcome outcome;
  outcome.errorNumber = error.number();
  outcome.portError = error;
  switch (error.number()) {
    case CommErr::PortNotExist:
      outcome.result = TransferResult::PortMissing;
      break;
    case CommErr::PortInUse:
      outcome.result = TransferResult::PortOccupied;
      break;
    default:
      // Permission denied, an adapter pulled mid-download.
      outcome.result = TransferResult::PortFailed;
      break;
  }
  return outcome;
}

TransferOutcome Unexpected(const std::exception& error) {
  return PortFailure(CommError(0, QString::fromLocal8Bit(error.what())));
}

}  // namespace

uint16_t LogoChecksum(const LogoRaster& logoData) {
  uint16_t sum = kLogoBytes;
  for (int v = 0; v < kLogoBytes; ++v) sum = static_cast<uint16_t>(sum + logoData[v]);
  return sum;
}

QString ChecksumText(uint16_t checksum) {
  return QStringLiteral("0x") +
         QStringLiteral("%1").arg(checksum, 4, 16, QLatin1Char('0')).toUpper();
}

LogoTransfer::LogoTransfer(LinkEngine& link, PortConnection& connection, QObject* parent)
    : QObject(parent), link_(link), connection_(connection) {
  connect(&link_, &LinkEngine::frameWritten, this, [this] {
    if (running_) ++framesSent_;
  });
  connect(&link_, &LinkEngine::commandFinished, this, &LogoTransfer::onCommandFinished);
}

bool LogoTransfer::start(const LogoRaster& logoData) {
  if (running_) return false;
  running_ = true;
  stopRequested_ = false;
  logo_ = logoData;
  step_ = 0;
  framesSent_ = 0;
  device_.clear();
  pressed_ = QDateTime::currentDateTime();
  clock_.start();

  std::optional<TransferOutcome> ended;
  try {
    if (!link_.port().isOpen()) connection_.ensureOpen();
    // Taken now: the COM number may lead elsewhere by the time the download has ended.
    device_ = link_.port().openDevice();
    Q_EMIT started();
    // The empty frame resynchronises the device's line reader; it has no reply.
    link_.send(QByteArray(), ReplyRule::NotAwaited);
    ended = sendStep();
  } catch (const CommError& error) {
    ended = PortFailure(error);
    if (device_.isEmpty()) device_ = error.device();
  } catch (const std::exception& error) {
    ended = Unexpected(error);
  }
  // Whoever pressed Send hears how it ended from the event loop, as on every other path.
  if (ended)
    QMetaObject::invokeMethod(
        this, [this, o = *ended] { finish(o); }, Qt::QueuedConnection);
  return true;
}

std::optional<TransferOutcome> LogoTransfer::sendStep() {
  if (stopRequested_) return Failed(TransferResult::Interrupted);
  if (step_ == kLogoInfoStep) {
    link_.send(LogoInfoText(LogoChecksum(logo_), 0), ReplyRule::NoRefusal);
    return std::nullopt;
  }
  if (step_ == 0) {
    link_.send(BlockWriteText(0, kHeader), ReplyRule::AckFirst);
    return std::nullopt;
  }
  const int first = (step_ - 1) * kBlockSize;
  const int count = std::min(kBlockSize, kLogoBytes - first);
  for (int v = first; v < first + count; ++v) Q_EMIT progress(v);
  link_.send(BlockWriteText(kFirstLogoAddress + first,
                            std::span(logo_).subspan(size_t(first), size_t(count))),
             ReplyRule::AckFirst);
  return std::nullopt;
}

void LogoTransfer::onCommandFinished(Reply reply, const CommError& error) {
  if (!running_) return;
  std::optional<TransferOutcome> ended;
  switch (reply) {
    case Reply::Accepted:
      if (step_ == kLogoInfoStep) {
        ended = TransferOutcome{};
        ended->result = TransferResult::Loaded;
        break;
      }
      ++step_;
      // The next frame goes out from here, without another pass of the event loop.
      try {
        ended = sendStep();
      } catch (const CommError& failure) {
        ended = PortFailure(failure);
      } catch (const std::exception& failure) {
        ended = Unexpected(failure);
      }
      break;
    case Reply::Refused:
    case Reply::TimedOut:
      if (step_ != kLogoInfoStep)
        ended = Failed(TransferResult::NotAcknowledged);
      else if (reply == Reply::Refused)
        // A refusal is a communication error like a refused block; silence keeps its own message.
        ended = Failed(TransferResult::LogoInfoRefused);
      else
        ended = Failed(TransferResult::LogoInfoNotAnswered);
      break;
    case Reply::PortFailed:
      ended = PortFailure(error);
      break;
  }
  if (ended) finish(*ended);
}

void LogoTransfer::abandon() {
  if (running_) finish(Failed(TransferResult::Interrupted));
}

void LogoTransfer::finish(TransferOutcome outcome) {
  outcome.device = device_;
  outcome.logoChecksum = LogoChecksum(logo_);
  outcome.framesSent = framesSent_;
  outcome.pressed = pressed_;
  outcome.durationMs = clock_.elapsed();
  running_ = false;
  Q_EMIT ended(outcome);
}

}  // namespace kestrel
