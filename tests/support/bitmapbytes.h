#pragma once

// Builds bitmap files byte by byte so tests can state every header field, including values
// no well-behaved writer would produce.

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace kestrel::test {

struct BitmapFields {
  QByteArray signature{"BM"};
  uint32_t fileSize = 1982;
  uint32_t reserved = 0;
  uint32_t dataOffset = 62;
  uint32_t headerSize = 40;
  uint32_t width = 240;
  uint32_t height = 60;
  uint16_t planes = 1;
  uint16_t bitCount = 1;
  uint32_t compression = 0;
  uint32_t imageSize = 1920;
  uint32_t xPelsPerMeter = 2835;
  uint32_t yPelsPerMeter = 2835;
  uint32_t colorsUsed = 2;
  uint32_t colorsImportant = 2;
};

inline void AppendLE(QByteArray& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// The 54 header bytes as a file would hold them.
inline QByteArray HeaderBytes(const BitmapFields& f) {
  QByteArray out = f.signature;
  for (uint32_t v : {f.fileSize, f.reserved, f.dataOffset, f.headerSize, f.width, f.height})
    AppendLE(out, v, 4);
  AppendLE(out, f.planes, 2);
  AppendLE(out, f.bitCount, 2);
  for (uint32_t v : {f.compression, f.imageSize, f.xPelsPerMeter, f.yPelsPerMeter, f.colorsUsed,
                     f.colorsImportant})
    AppendLE(out, v, 4);
  return out;
}

// Pixel bytes that differ from row to row and column to column, so misplaced rows show.
inline QByteArray PatternPixels(int count = 1920) {
  QByteArray pixels(count, '\0');
  for (int i = 0; i < count; ++i) pixels[i] = static_cast<char>((i * 7 + i / 32) & 0xFF);
  return pixels;
}

// Header, then the bytes up to dataOffset (a palette and filler, 0xEE), then the pixels.
// An absurd dataOffset gets no filler at all: the header alone makes the point.
inline QByteArray BitmapBytes(const BitmapFields& f, const QByteArray& pixels) {
  QByteArray out = HeaderBytes(f);
  const int64_t gap = int64_t{f.dataOffset} - 54;
  if (gap > 4096) {
    // no filler
  } else if (gap >= 8) {
    out.append(QByteArray("\x00\x00\x00\x00\xFF\xFF\xFF\x00", 8));
    out.append(QByteArray(static_cast<qsizetype>(gap - 8), '\xEE'));
  } else if (gap > 0) {
    out.append(QByteArray(static_cast<qsizetype>(gap), '\xEE'));
  }
  return out + pixels;
}

}  // namespace kestrel::test
