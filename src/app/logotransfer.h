#pragma once

#include <QObject>
#include <QString>
#include <optional>
#include <span>

#include "app/portconnection.h"
#include "link/linkengine.h"
#include "logo/logoraster.h"

namespace kestrel {

// How a download ended.
enum class TransferResult {
  NotSent,              // nothing was tried: a download was running already
  Loaded,               // every frame acknowledged
  NotAcknowledged,      // a block write was refused or not answered in time
  LogoInfoNotAnswered,  // every block went through; the closing command got no answer
  LogoInfoRefused,      // every block went through; the device refused the closing command
  Interrupted,          // asked to stop (a signal to the command line) between two frames
  PortMissing,          // the configured port does not exist
  PortOccupied,         // another program holds the port
  PortFailed,           // any other serial-port failure: no permission, device lost...
};

struct TransferOutcome {
  // Only an outcome the transfer wrote can say "loaded"; one made anywhere else cannot pass for it.
  TransferResult result = TransferResult::NotSent;
  QString message;      // what the user is told; empty when the logo was loaded
  int errorNumber = 0;  // the serial layer's number for the port results
  QString device;       // the device the port was open on, or the one an open tried
  int framesSent = 0;
  uint16_t logoChecksum = 0;
  qint64 durationMs = 0;  // from the press (port opening included) to the end

  bool loaded() const { return result == TransferResult::Loaded; }
};

// cmdSend_Click without the window: the 132-frame download of logoData[0..1799]. Whoever
// drives it (window, command line, benchmark) follows it through the signals.
class LogoTransfer : public QObject {
  Q_OBJECT

 public:
  LogoTransfer(LinkEngine& link, PortConnection& connection, QObject* parent = nullptr);

  // Returns how it ended, or nothing when a download is running already (the second press
  // is ignored: its frames would interleave with the first's).
  std::optional<TransferOutcome> cmdSend_Click(const LogoRaster& logoData);
  bool Sending() const { return sending_; }
  // Ends the running download before its next frame, as Interrupted; the frame in flight
  // still gets its answer. Nothing happens while no download runs.
  void requestStop() { stopRequested_ = sending_; }

  static uint16_t LogoChecksum(const LogoRaster& logoData);
  // As every place shows it to a person: 0x followed by four upper-case hex digits.
  static QString ChecksumText(uint16_t checksum);

 Q_SIGNALS:
  // The port is open and the first frame is about to go: time to lock the window.
  void started();
  // Logo byte about to be sent, 0 to 1799.
  void progress(int value);
  // Every path ends here, also a port that failed to open (then without started()). A window
  // shows the outcome's message while still locked, then unlocks.
  void ended(const kestrel::TransferOutcome& outcome);

 private:
  TransferOutcome SendFrames(const LogoRaster& logoData);
  // One block write, unless a stop was asked for; how the download ends when it ends there.
  std::optional<TransferOutcome> WriteNextBlock(std::span<const uint8_t> buffer, int32_t address,
                                                int32_t count);

  LinkEngine& link_;
  PortConnection& connection_;
  bool sending_ = false;
  bool stopRequested_ = false;
  int framesSent_ = 0;
};

}  // namespace kestrel
