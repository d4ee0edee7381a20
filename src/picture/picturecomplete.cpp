#include "picture/picturecomplete.h"

#include <QByteArray>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kestrel::convert {

namespace {

constexpr qint64 kChunk = 64 * 1024;
constexpr int kBmpHeadSize = 38;  // up to the coded size of the pixels

// Walks a file forward in chunks; each step tells whether the file still had the bytes.
class ByteWalk {
 public:
  explicit ByteWalk(QIODevice* device) : device_(device), buffer_(kChunk) {}

  // The next byte, or -1 at the end of the file.
  int next() {
    if (at_ == size_ && !fill()) return -1;
    return static_cast<uint8_t>(buffer_[static_cast<size_t>(at_++)]);
  }

  bool skip(qint64 count) {
    while (count > 0) {
      if (at_ == size_ && !fill()) return false;
      const qint64 step = std::min(count, size_ - at_);
      at_ += step;
      count -= step;
    }
    return true;
  }

  // Moves just past the next `byte`; false when the file ends first.
  bool skipPast(uint8_t byte) {
    for (;;) {
      if (at_ == size_ && !fill()) return false;
      const char* from = buffer_.data() + at_;
      const void* found = std::memchr(from, byte, static_cast<size_t>(size_ - at_));
      if (found) {
        at_ += static_cast<const char*>(found) - from + 1;
        return true;
      }
      at_ = size_;
    }
  }

 private:
  bool fill() {
    size_ = std::max<qint64>(0, device_->read(buffer_.data(), kChunk));
    at_ = 0;
    return size_ > 0;
  }

  QIODevice* device_;
  std::vector<char> buffer_;
  qint64 size_ = 0;
  qint64 at_ = 0;
};

// Segments up to the end-of-image marker. Segments are skipped by their length, so a thumbnail
// inside one cannot end the walk early, and coded data never holds a marker: a 0xFF there is
// followed by 0x00 or a restart number. Bytes after the end (some cameras append more) are
// not looked at.
PictureData JpegData(ByteWalk& in) {
  constexpr int kEndOfImage = 0xD9;
  constexpr int kStartOfScan = 0xDA;
  if (!in.skip(2)) return PictureData::CutShort;
  int scans = 0;
  for (;;) {
    if (!in.skipPast(0xFF)) return PictureData::CutShort;
    int marker = in.next();
    while (marker == 0xFF) marker = in.next();
    if (marker < 0) return PictureData::CutShort;
    if (marker == kEndOfImage) return PictureData::Complete;
    const bool standalone = marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
    if (standalone) continue;
    if (marker == kStartOfScan && ++scans > kMaxJpegScans) return PictureData::TooManyScans;
    const int high = in.next();
    const int low = in.next();
    if (low < 0 || !in.skip(high * 256 + low - 2)) return PictureData::CutShort;
  }
}

bool SkipGifSubBlocks(ByteWalk& in) {
  for (;;) {
    const int size = in.next();
    if (size <= 0) return size == 0;
    if (!in.skip(size)) return false;
  }
}

bool SkipGifColourTable(ByteWalk& in, int flags) {
  return (flags & 0x80) == 0 || in.skip(3 << ((flags & 7) + 1));
}

// Up to the end of the first image's data: the one the reader shows.
bool GifComplete(ByteWalk& in) {
  if (!in.skip(10)) return false;  // signature and screen size
  const int flags = in.next();
  if (flags < 0 || !in.skip(2) || !SkipGifColourTable(in, flags)) return false;
  for (;;) {
    switch (in.next()) {
      case 0x21:  // extension: its label, then its data
        if (in.next() < 0 || !SkipGifSubBlocks(in)) return false;
        break;
      case 0x2C: {  // image: place and size, flags, colour table, code size, data
        if (!in.skip(8)) return false;
        const int imageFlags = in.next();
        return imageFlags >= 0 && SkipGifColourTable(in, imageFlags) && in.next() >= 0 &&
               SkipGifSubBlocks(in);
      }
      case -1:
        return false;
      default:  // the trailer, or something for the reader to judge
        return true;
    }
  }
}

// The file holds at least the pixel bytes its header announces, from where it says they start.
bool BmpComplete(const QByteArray& head, qint64 fileSize) {
  auto le = [&head](int at, int size) {
    int64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value * 256 + static_cast<uint8_t>(head[at + i]);
    return value;
  };
  if (head.size() < 26) return false;
  const int64_t offset = le(10, 4);
  int64_t width = 0;
  int64_t height = 0;
  int64_t bitsPerPixel = 0;
  int64_t compression = 0;
  int64_t codedSize = 0;
  if (le(14, 4) == 12) {
    width = le(18, 2);
    height = le(20, 2);
    bitsPerPixel = le(24, 2);
  } else {
    if (head.size() < kBmpHeadSize) return false;
    width = std::abs(int64_t(int32_t(le(18, 4))));
    height = std::abs(int64_t(int32_t(le(22, 4))));
    bitsPerPixel = le(28, 2);
    compression = le(30, 4);
    codedSize = le(34, 4);
  }
  double pixelBytes = 0;
  switch (compression) {
    case 0:  // rows, each padded to four bytes
    case 3:  // the same with colour masks
    case 6:
      pixelBytes = double((width * bitsPerPixel + 31) / 32 * 4) * double(height);
      break;
    case 1:  // run-length coded: the header holds the coded size
    case 2:
      pixelBytes = double(codedSize);
      break;
    default:
      return true;
  }
  return double(offset) + pixelBytes <= double(fileSize);
}

}  // namespace

PictureData CheckPictureData(QIODevice* file) {
  if (!file || file->isSequential() || !file->seek(0)) return PictureData::Complete;
  const QByteArray head = file->peek(kBmpHeadSize);
  ByteWalk in(file);
  if (head.startsWith("\xFF\xD8")) return JpegData(in);
  bool complete = true;
  if (head.startsWith("GIF8")) complete = GifComplete(in);
  if (head.startsWith("BM")) complete = BmpComplete(head, file->size());
  return complete ? PictureData::Complete : PictureData::CutShort;
}

}  // namespace kestrel::convert
