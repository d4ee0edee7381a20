#pragma once

#include <QtGlobal>

namespace kestrel::sim {

// Times on a serial line at a fixed rate, 10 bits a byte, one line each way. Each direction
// is busy until its last byte is through; a byte can only start once the line is free.
// All times are nanoseconds on one steady clock. At rate 0 the line costs no time.
class LinePacer {
 public:
  explicit LinePacer(int baud = 0) : baud_(baud > 0 ? baud : 0) {}

  bool paced() const { return baud_ > 0; }
  int baud() const { return baud_; }

  // How long `bytes` take on the wire; exact to the nanosecond, not summed per byte.
  qint64 wireNs(qint64 bytes) const;

  // Bytes the loader sent, first seen at seenNs: when their last byte has reached the device.
  qint64 inboundDone(qint64 seenNs, qint64 bytes);
  // An answer the device starts sending at readyNs: when its last byte has reached the loader.
  qint64 outboundDone(qint64 readyNs, qint64 bytes);

 private:
  int baud_;
  qint64 inFreeNs_ = 0;
  qint64 outFreeNs_ = 0;
};

}  // namespace kestrel::sim
