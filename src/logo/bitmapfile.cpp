#include "logo/bitmapfile.h"

#include <QFile>
#include <array>
#include <limits>

namespace kestrel {

namespace {

constexpr int kHeaderBytes = 54;
constexpr int kScratchBytes = 257;  // the largest gap the loader will skip
constexpr int32_t kDefaultImageSize = 1920;
constexpr int32_t kMinimumPixelBytes = 1918;  // last byte the raster uses is index 1917

// Reads exactly count bytes; false when the file ends first or the read fails.
bool ReadExactly(QIODevice& file, char* out, qint64 count) {
  return file.read(out, count) == count;
}

void SetOk(bool* ok, bool value) {
  if (ok) *ok = value;
}

}  // namespace

int32_t ReadLongLE(QIODevice& file, bool* ok) {
  std::array<unsigned char, 4> b{};
  if (!ReadExactly(file, reinterpret_cast<char*>(b.data()), 4) || b[3] >= 0x80) {
    SetOk(ok, false);
    return 0;
  }
  SetOk(ok, true);
  return static_cast<int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t{b[3]} << 24));
}

int32_t ReadIntegerLE(QIODevice& file, bool* ok) {
  std::array<unsigned char, 2> b{};
  if (!ReadExactly(file, reinterpret_cast<char*>(b.data()), 2) || b[1] >= 0x80) {
    SetOk(ok, false);
    return 0;
  }
  SetOk(ok, true);
  return static_cast<int32_t>(b[0] | (b[1] << 8));
}

int32_t ReadByteBlock(uint8_t* buffer, int64_t bufferSize, int16_t columns, int32_t rows,
                      QIODevice& file) {
  if (columns <= 0 || rows <= 0) return 0;
  const int64_t count = int64_t{columns} * rows;
  // Checked before reading: a block that cannot fit is refused without touching the buffer.
  if (buffer == nullptr || count > bufferSize || count > std::numeric_limits<int32_t>::max())
    return -1;
  if (!ReadExactly(file, reinterpret_cast<char*>(buffer), count)) return -1;
  return static_cast<int32_t>(count);
}

LogoFileResult ReadLogoBitmap(const QString& path) {
  using Outcome = LogoFileResult::Outcome;
  LogoFileResult result;

  // QFile closes itself on every return below.
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    result.outcome = Outcome::CannotOpen;
    result.openError = file.errorString();
    return result;
  }

  auto reject = [&result, &file](Outcome outcome) {
    file.close();
    result.outcome = outcome;
    result.pixels.clear();
    return result;
  };

  char signature[2];
  if (!ReadExactly(file, signature, 2)) return reject(Outcome::WrongFormat);
  BitmapHeader& h = result.header;
  h.Signature = QString::fromLatin1(signature, 2);
  if (h.Signature != QLatin1String("BM")) return reject(Outcome::NotABitmap);

  // Every field is read before any is judged, so a bad one never leaves the header half read.
  bool allOk = true;
  auto readLong = [&file, &allOk](int32_t& field) {
    bool ok = false;
    field = ReadLongLE(file, &ok);
    allOk = allOk && ok;
  };
  auto readInteger = [&file, &allOk](int32_t& field) {
    bool ok = false;
    field = ReadIntegerLE(file, &ok);
    allOk = allOk && ok;
  };
  readLong(h.FileSize);
  readLong(h.Reserved);
  readLong(h.DataOffset);
  readLong(h.HeaderSize);
  readLong(h.Width);
  readLong(h.Height);
  readInteger(h.Planes);
  readInteger(h.BitCount);
  readLong(h.Compression);
  readLong(h.ImageSize);
  readLong(h.XPelsPerMeter);
  readLong(h.YPelsPerMeter);
  readLong(h.ColorsUsed);
  readLong(h.ColorsImportant);
  if (!allOk) return reject(Outcome::WrongFormat);

  if (h.Planes != 1 || h.BitCount != 1 || h.Width != 240 || h.Height != 60)
    return reject(Outcome::WrongFormat);

  // Palette and anything else up to the pixel rows is skipped unread; never seek backwards.
  const int64_t gap = int64_t{h.DataOffset} - kHeaderBytes;
  if (gap > kScratchBytes) return reject(Outcome::WrongFormat);
  if (gap > 0) {
    std::array<uint8_t, kScratchBytes> scratch{};
    if (ReadByteBlock(scratch.data(), scratch.size(), static_cast<int16_t>(gap), 1, file) < 1)
      return reject(Outcome::WrongFormat);
  }

  const int32_t n = h.ImageSize == 0 ? kDefaultImageSize : h.ImageSize;
  if (n < kMinimumPixelBytes) return reject(Outcome::WrongFormat);
  // Whatever the header claims, never allocate more than the file can still deliver.
  if (n > file.size() - file.pos()) return reject(Outcome::WrongFormat);

  result.pixels = QByteArray(n, Qt::Uninitialized);
  if (ReadByteBlock(reinterpret_cast<uint8_t*>(result.pixels.data()), n, 1, n, file) < n)
    return reject(Outcome::WrongFormat);

  file.close();
  result.outcome = Outcome::Accepted;
  return result;
}

}  // namespace kestrel
