#include "downloadrun.h"

#include <QEventLoop>
#include <QTimer>

namespace kestrel::test {

bool WaitForDownloadEnd(LogoTransfer& transfer, int timeoutMs) {
  if (!transfer.running()) return true;
  // An event loop of its own rather than QTest::qWaitFor, which sleeps between its passes:
  // every frame would cost a sleep.
  QEventLoop wait;
  QObject::connect(&transfer, &LogoTransfer::ended, &wait, &QEventLoop::quit,
                   Qt::QueuedConnection);
  QTimer::singleShot(timeoutMs, &wait, &QEventLoop::quit);
  wait.exec();
  return !transfer.running();
}

std::optional<TransferOutcome> RunDownload(LogoTransfer& transfer, const LogoRaster& logo,
                                           int timeoutMs) {
  std::optional<TransferOutcome> outcome;
  QObject receiver;
  QObject::connect(&transfer, &LogoTransfer::ended, &receiver,
                   [&outcome](const TransferOutcome& ended) { outcome = ended; });
  if (!transfer.start(logo)) return std::nullopt;
  WaitForDownloadEnd(transfer, timeoutMs);
  return outcome;
}

}  // namespace kestrel::test
