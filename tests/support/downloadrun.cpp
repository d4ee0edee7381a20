#include "downloadrun.h"

#include <QTest>

namespace kestrel::test {

std::optional<TransferOutcome> RunDownload(LogoTransfer& transfer, const LogoRaster& logo,
                                           int timeoutMs) {
  std::optional<TransferOutcome> outcome;
  QObject receiver;
  QObject::connect(&transfer, &LogoTransfer::ended, &receiver,
                   [&outcome](const TransferOutcome& ended) { outcome = ended; });
  if (!transfer.start(logo)) return std::nullopt;
  QTest::qWaitFor([&outcome] { return outcome.has_value(); }, timeoutMs);
  return outcome;
}

}  // namespace kestrel::test
