#include "app/logotransfer.h"

#include <QElapsedTimer>
#include <array>
#include <exception>

#include "app/usertexts.h"

namespace kestrel {

namespace {
constexpr int kBlockSize = 14;
constexpr int32_t kFirstLogoAddress = 2;

TransferOutcome Failed(TransferResult result, const char* message) {
  TransferOutcome outcome;
  outcome.result = result;
  outcome.message = QString::fromLatin1(message);
  return outcome;
}

TransferOutcome PortFailure(const CommError& error) {
  TransferOutcome outcome;
  outcome.errorNumber = error.number();
  switch (error.number()) {
    case CommErr::PortNotExist:
      outcome.result = TransferResult::PortMissing;
      outcome.message = PortCannotBeOpenedText(error);
      break;
    case CommErr::PortInUse:
      outcome.result = TransferResult::PortOccupied;
      outcome.message = QString::fromLatin1(kPortOccupiedMessage);
      break;
    default:
      // Permission denied, an adapter pulled mid-download: the user must learn the download
      // did not happen.
      outcome.result = TransferResult::PortFailed;
      outcome.message = error.description();
      break;
  }
  return outcome;
}

}  // namespace

LogoTransfer::LogoTransfer(LinkEngine& link, PortConnection& connection, QObject* parent)
    : QObject(parent), link_(link), connection_(connection) {
  connect(&link_, &LinkEngine::frameWritten, this, [this] {
    if (sending_) ++framesSent_;
  });
}

uint16_t LogoTransfer::LogoChecksum(const LogoRaster& logoData) {
  uint16_t sum = kLogoBytes;
  for (int v = 0; v < kLogoBytes; ++v) sum = static_cast<uint16_t>(sum + logoData[v]);
  return sum;
}

QString LogoTransfer::ChecksumText(uint16_t checksum) {
  return QStringLiteral("0x") +
         QStringLiteral("%1").arg(checksum, 4, 16, QLatin1Char('0')).toUpper();
}

std::optional<TransferOutcome> LogoTransfer::cmdSend_Click(const LogoRaster& logoData) {
  // The window lock keeps the user out while the link pumps events; this also keeps out any
  // other caller.
  if (sending_) return std::nullopt;
  sending_ = true;
  framesSent_ = 0;
  QElapsedTimer clock;
  clock.start();

  stopRequested_ = false;
  QString device;
  TransferOutcome outcome;
  try {
    if (!link_.port().PortOpen()) connection_.OpenPortAndShowState();
    // Taken now: the COM number may lead elsewhere by the time the download has ended.
    device = link_.port().devicePath();
    Q_EMIT started();
    outcome = SendFrames(logoData);
  } catch (const CommError& error) {
    outcome = PortFailure(error);
    if (device.isEmpty()) device = error.device();
  } catch (const std::exception& error) {
    outcome.result = TransferResult::PortFailed;
    outcome.message = QString::fromLocal8Bit(error.what());
  }
  outcome.device = device;
  outcome.logoChecksum = LogoChecksum(logoData);
  outcome.framesSent = framesSent_;
  outcome.durationMs = clock.elapsed();
  // Still "sending" while the window shows the outcome: it must not close under the message.
  Q_EMIT ended(outcome);
  sending_ = false;
  return outcome;
}

TransferOutcome LogoTransfer::SendFrames(const LogoRaster& logoData) {
  std::array<uint8_t, 41> blockBuffer{};
  blockBuffer[0] = 0x00;
  blockBuffer[1] = 0x01;

  // The empty frame resynchronises the device's line reader; it has no reply.
  QString status;
  link_.SendCommand(QByteArray(), false, status);

  if (auto ended = WriteNextBlock(blockBuffer, 0, 2)) return *ended;

  int32_t address = kFirstLogoAddress;
  int pending = 0;
  for (int v = 0; v < kLogoBytes; ++v) {
    Q_EMIT progress(v);
    blockBuffer[pending++] = logoData[v];
    if (pending == kBlockSize) {
      if (auto ended = WriteNextBlock(blockBuffer, address, pending)) return *ended;
      address += kBlockSize;
      pending = 0;
    }
  }
  if (pending > 0) {
    if (auto ended = WriteNextBlock(blockBuffer, address, pending)) return *ended;
  }

  if (stopRequested_) return Failed(TransferResult::Interrupted, kInterruptedMessage);
  if (!link_.SendLogoInfo(LogoChecksum(logoData), 0)) {
    // A refusal is a communication error like a refused block; silence keeps its own message.
    if (link_.LinkStatus() == QLatin1String(kStatusOk))
      return Failed(TransferResult::LogoInfoRefused, kNotAcknowledgedMessage);
    return Failed(TransferResult::LogoInfoNotAnswered, kLogoInfoNotAnsweredMessage);
  }

  TransferOutcome loaded;
  loaded.result = TransferResult::Loaded;
  return loaded;
}

std::optional<TransferOutcome> LogoTransfer::WriteNextBlock(std::span<const uint8_t> buffer,
                                                            int32_t address, int32_t count) {
  if (stopRequested_) return Failed(TransferResult::Interrupted, kInterruptedMessage);
  if (!link_.WriteBlock(buffer, address, count))
    return Failed(TransferResult::NotAcknowledged, kNotAcknowledgedMessage);
  return std::nullopt;
}

}  // namespace kestrel
