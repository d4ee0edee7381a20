#include "logo/bitmapfile.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <limits>

#include "files/fileaccess.h"

namespace kestrel {

namespace {

constexpr int kHeaderBytes = 54;
constexpr int kScratchBytes = 257;  // the largest gap the loader will skip
constexpr int32_t kDefaultImageSize = 1920;
constexpr int32_t kMinimumPixelBytes = 1918;  // last byte the raster uses is index 1917
constexpr int kFileHeaderBytes = 14;          // before the information header

// Whether palette entry 0 is lighter than entry 1, when both lie in the skipped gap. Viewers
// draw the file with its palette; the device takes index 0 as black whatever the palette says.
bool LighterEntryFirst(const std::array<uint8_t, kScratchBytes>& gap, int64_t gapBytes,
                       int32_t headerSize) {
  if (headerSize < 40) return false;  // older headers keep 3-byte entries elsewhere
  const int64_t first = int64_t{kFileHeaderBytes} + headerSize - kHeaderBytes;
  if (first + 8 > gapBytes) return false;
  const auto lightness = [&gap, first](int entry) {  // entries are blue, green, red, unused
    const auto at = [&](int k) { return int(gap[size_t(first + 4 * entry + k)]); };
    return at(2) * 11 + at(1) * 16 + at(0) * 5;
  };
  return lightness(0) > lightness(1);
}

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
  QFile file;
  const files::OpenResult opened = files::OpenRegularFile(file, path);
  if (!opened.opened()) {
    result.outcome = Outcome::CannotOpen;
    result.openError = opened.error;
    return result;
  }

  auto reject = [&result, &file](Outcome outcome) {
    file.close();
    result.outcome = outcome;
    result.pixels.clear();
    result.lighterColourFirst = false;
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
    result.lighterColourFirst = LighterEntryFirst(scratch, gap, h.HeaderSize);
  }

  const int32_t n = h.ImageSize == 0 ? kDefaultImageSize : h.ImageSize;
  if (n < kMinimumPixelBytes) return reject(Outcome::WrongFormat);
  // All n bytes must be there, as if read, but only the rows are: whatever the header and the
  // file's length say, memory and reading time stay those of one logo.
  if (n > file.size() - file.pos()) return reject(Outcome::WrongFormat);
  const int32_t rowBytes = std::min(n, kDefaultImageSize);

  result.pixels = QByteArray(rowBytes, Qt::Uninitialized);
  if (ReadByteBlock(reinterpret_cast<uint8_t*>(result.pixels.data()), rowBytes, 1, rowBytes, file) <
      rowBytes)
    return reject(Outcome::WrongFormat);

  file.close();
  result.outcome = Outcome::Accepted;
  return result;
}

}  // namespace kestrel
