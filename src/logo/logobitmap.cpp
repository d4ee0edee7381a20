#include "logo/logobitmap.h"

namespace kestrel {

namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 60;
constexpr int kRowBytes = kWidth / 8;
constexpr int kRowStride = 32;
constexpr int kPixelDataOffset = 62;
constexpr int kPixelDataSize = kRowStride * kHeight;
constexpr int kFileSize = kPixelDataOffset + kPixelDataSize;

void PutLE(QByteArray& out, int offset, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

QByteArray EncodeLogoBitmap(const LogoRaster& raster) {
  QByteArray file(kFileSize, '\0');
  file[0] = 'B';
  file[1] = 'M';
  PutLE(file, 2, kFileSize, 4);
  PutLE(file, 10, kPixelDataOffset, 4);
  PutLE(file, 14, 40, 4);  // information header size
  PutLE(file, 18, kWidth, 4);
  PutLE(file, 22, kHeight, 4);  // positive: bottom row stored first
  PutLE(file, 26, 1, 2);        // planes
  PutLE(file, 28, 1, 2);        // bits per pixel
  PutLE(file, 30, 0, 4);        // uncompressed
  PutLE(file, 34, kPixelDataSize, 4);
  PutLE(file, 38, 2835, 4);  // 72 dots per inch
  PutLE(file, 42, 2835, 4);
  PutLE(file, 46, 2, 4);           // colours used
  PutLE(file, 50, 2, 4);           // colours important
  PutLE(file, 54, 0x00000000, 4);  // entry 0: black
  PutLE(file, 58, 0x00FFFFFF, 4);  // entry 1: white

  // A raster bit of 1 is a pixel of palette index 0.
  for (int row = 0; row < kHeight; ++row) {
    const int stored = kPixelDataOffset + (kHeight - 1 - row) * kRowStride;
    for (int c = 0; c < kRowBytes; ++c)
      file[stored + c] = static_cast<char>(~raster[static_cast<size_t>(row * kRowBytes + c)]);
  }
  return file;
}

}  // namespace kestrel
