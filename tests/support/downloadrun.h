#pragma once

#include <optional>

#include "app/logotransfer.h"

namespace kestrel::test {

// Waits in the event loop until the running download has ended and every receiver of its end
// has had it; false when it did not end in time.
bool WaitForDownloadEnd(LogoTransfer& transfer, int timeoutMs = 20000);

// Starts a download and waits in the event loop for its end. Nothing when it did not start
// (one was running) or did not end in time.
std::optional<TransferOutcome> RunDownload(LogoTransfer& transfer, const LogoRaster& logo,
                                           int timeoutMs = 20000);

}  // namespace kestrel::test
