#include "linepacer.h"

#include <algorithm>

namespace kestrel::sim {

namespace {
constexpr qint64 kBitsPerByte = 10;
constexpr qint64 kNsPerSecond = 1000000000;
}  // namespace

qint64 LinePacer::wireNs(qint64 bytes) const {
  if (baud_ == 0 || bytes <= 0) return 0;
  // Whole seconds and the rest apart, so even a long run cannot overflow.
  const qint64 bits = bytes * kBitsPerByte;
  return bits / baud_ * kNsPerSecond + bits % baud_ * kNsPerSecond / baud_;
}

qint64 LinePacer::inboundDone(qint64 seenNs, qint64 bytes) {
  if (baud_ == 0) return seenNs;
  inFreeNs_ = std::max(inFreeNs_, seenNs) + wireNs(bytes);
  return inFreeNs_;
}

qint64 LinePacer::outboundDone(qint64 readyNs, qint64 bytes) {
  if (baud_ == 0) return readyNs;
  outFreeNs_ = std::max(outFreeNs_, readyNs) + wireNs(bytes);
  return outFreeNs_;
}

}  // namespace kestrel::sim
