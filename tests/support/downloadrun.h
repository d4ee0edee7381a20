#pragma once

#include <optional>

#include "app/logotransfer.h"

namespace kestrel::test {

// Starts a download and waits in the event loop for its end. Nothing when it did not start
// (one was running) or did not end in time.
std::optional<TransferOutcome> RunDownload(LogoTransfer& transfer, const LogoRaster& logo,
                                           int timeoutMs = 20000);

}  // namespace kestrel::test
