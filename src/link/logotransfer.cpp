#include "link/logotransfer.h"

#include <array>
#include <exception>
#include <utility>

namespace kestrel {

namespace {
constexpr int kBlockSize = 14;
constexpr int32_t kFirstLogoAddress = 2;
}  // namespace

LogoTransfer::LogoTransfer(LinkEngine& link, PortConnection& connection, TransferView& view,
                           MessageFn message)
    : link_(link), connection_(connection), view_(view), message_(std::move(message)) {}

uint16_t LogoTransfer::LogoChecksum(const LogoRaster& logoData) {
  uint16_t sum = kLogoBytes;
  for (int v = 0; v < kLogoBytes; ++v) sum = static_cast<uint16_t>(sum + logoData[v]);
  return sum;
}

void LogoTransfer::cmdSend_Click(const LogoRaster& logoData) {
  // The window lock keeps the user out while the link pumps events; this also keeps out any
  // other caller, since a second download would interleave its frames with the first.
  if (sending_) return;
  sending_ = true;

  auto restoreAfterError = [this] {
    view_.setOpenButtonEnabled(true);
    view_.setProgressVisible(false);
    view_.setSendButtonEnabled(true);
    view_.UnlockUserInterface();
  };

  try {
    if (!link_.port().PortOpen()) connection_.OpenPortAndShowState();
    view_.setOpenButtonEnabled(false);
    view_.setSendButtonEnabled(false);
    view_.LockUserInterface();

    SendFrames(logoData);

    view_.setOpenButtonEnabled(true);
    view_.setSendButtonEnabled(true);
    view_.setProgressVisible(false);
    view_.UnlockUserInterface();
  } catch (const CommError& error) {
    switch (error.number()) {
      case CommErr::PortNotExist:
        ShowError(QString::fromLatin1(kMessageC));
        break;
      case CommErr::PortInUse:
        ShowError(QString::fromLatin1(kMessageD));
        break;
      default:
        // Permission denied, an adapter pulled mid-download: the user must learn the download
        // did not happen.
        ShowError(error.description());
        break;
    }
    restoreAfterError();
  } catch (const std::exception& error) {
    ShowError(QString::fromLocal8Bit(error.what()));
    restoreAfterError();
  }
  sending_ = false;
}

void LogoTransfer::SendFrames(const LogoRaster& logoData) {
  std::array<uint8_t, 41> blockBuffer{};
  blockBuffer[0] = 0x00;
  blockBuffer[1] = 0x01;

  view_.setProgressRange(0, kLogoBytes);
  view_.setProgressValue(0);
  view_.setProgressVisible(true);

  // The empty frame resynchronises the device's line reader; it has no reply.
  QString status;
  link_.SendCommand(QByteArray(), false, status);

  if (!link_.WriteBlock(blockBuffer, 0, 2)) return ShowError(QString::fromLatin1(kMessageA));

  int32_t address = kFirstLogoAddress;
  int pending = 0;
  for (int v = 0; v < kLogoBytes; ++v) {
    view_.setProgressValue(v);
    blockBuffer[pending++] = logoData[v];
    if (pending == kBlockSize) {
      if (!link_.WriteBlock(blockBuffer, address, pending))
        return ShowError(QString::fromLatin1(kMessageA));
      address += kBlockSize;
      pending = 0;
    }
  }
  if (pending > 0 && !link_.WriteBlock(blockBuffer, address, pending))
    return ShowError(QString::fromLatin1(kMessageA));

  if (!link_.SendLogoInfo(LogoChecksum(logoData), 0))
    ShowError(QString::fromLatin1(kMessageB));
}

void LogoTransfer::ShowError(const QString& text) {
  if (message_) message_(text, QString());
}

}  // namespace kestrel
