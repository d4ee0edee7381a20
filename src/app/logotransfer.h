#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <optional>

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
  int errorNumber = 0;  // the serial layer's number for the port results
  CommError portError;  // what the serial layer said, for the port results
  QString device;       // the device the port was open on, or the one an open tried
  int framesSent = 0;
  uint16_t logoChecksum = 0;
  QDateTime pressed;      // when the download was asked for
  qint64 durationMs = 0;  // from then (port opening included) to the end

  bool loaded() const { return result == TransferResult::Loaded; }
};

// The sum over the logo the closing command carries: 1800 plus its bytes, modulo 65536.
uint16_t LogoChecksum(const LogoRaster& logoData);
// As every place shows it to a person: 0x followed by four upper-case hex digits.
QString ChecksumText(uint16_t checksum);

// The 132-frame download of a logo's bytes 0 to 1799, one frame after the link's outcome for
// the one before. Whoever drives it (window, command line, benchmark) follows the signals.
class LogoTransfer : public QObject {
  Q_OBJECT

 public:
  LogoTransfer(LinkEngine& link, PortConnection& connection, QObject* parent = nullptr);

  // Starts downloading a copy of logoData, opening the port first when it is closed. False,
  // and nothing happens, while a download runs: its frames would interleave with this one's.
  bool start(const LogoRaster& logoData);
  bool running() const { return running_; }
  // Ends the running download before its next frame, as Interrupted; the frame in flight
  // still gets its answer. Nothing happens while no download runs.
  void requestStop() { stopRequested_ = running_; }
  // Ends the running download now, as Interrupted, without waiting for the frame in flight:
  // the program is ending and its record must still be written.
  void abandon();

 Q_SIGNALS:
  // The port is open and the first frame is about to go: time to lock the window.
  void started();
  // Logo byte about to be sent, 0 to 1799.
  void progress(int value);
  // Every download ends here once, from the event loop, also one whose port failed to open
  // (then without started()). A window shows the outcome's message while still locked, then
  // unlocks; a new download may start from here.
  void ended(const kestrel::TransferOutcome& outcome);

 private:
  // Writes the frame of the current step; how the download ends when it ends there.
  std::optional<TransferOutcome> sendStep();
  void onCommandFinished(Reply reply, const CommError& error);
  void finish(TransferOutcome outcome);

  LinkEngine& link_;
  PortConnection& connection_;
  LogoRaster logo_{};
  bool running_ = false;
  bool stopRequested_ = false;
  int step_ = 0;  // 0 the header block, 1 to 129 the logo's blocks, 130 the logo information
  int framesSent_ = 0;
  QString device_;
  QDateTime pressed_;
  QElapsedTimer clock_;
};

}  // namespace kestrel
