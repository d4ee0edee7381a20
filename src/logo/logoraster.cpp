#include "logo/logoraster.h"

namespace kestrel {

bool BuildLogoRaster(const BitmapHeader& header, const QByteArray& pixels, LogoRaster& logoData) {
  const int64_t width = header.Width;
  const int64_t rows = header.Height;
  if (width <= 0 || rows <= 0) return false;

  // Stored rows are padded to 4 bytes; the device wants them unpadded.
  const int64_t stride = 4 * (width / 32) + (width % 32 != 0 ? 4 : 0);
  const int64_t rowBytes = width / 8 + (width % 8 != 0 ? 1 : 0);
  if (rowBytes * rows != kLogoBytes) return false;
  // The last byte read is the end of the top row, which the file stores last.
  if ((rows - 1) * stride + rowBytes > pixels.size()) return false;

  // The file stores the bottom row first; the device wants the top row first and
  // a set bit where the file has palette index 0.
  int64_t i = 0;
  for (int64_t s = (rows - 1) * stride; s >= 0; s -= stride) {
    for (int64_t c = 0; c < rowBytes; ++c)
      logoData[static_cast<size_t>(i++)] =
          static_cast<uint8_t>(~static_cast<uint8_t>(pixels[static_cast<qsizetype>(s + c)]));
  }
  return true;
}

}  // namespace kestrel

namespace kestrel {

LogoLoad LoadLogoFile(const QString& path) {
  const LogoFileResult file = ReadLogoBitmap(path);
  LogoLoad load;
  load.outcome = file.outcome;
  load.openError = file.openError;
  load.lighterColourFirst = file.lighterColourFirst;
  if (load.outcome == LogoFileResult::Outcome::Accepted &&
      !BuildLogoRaster(file.header, file.pixels, load.raster))
    load.outcome = LogoFileResult::Outcome::WrongFormat;
  return load;
}

}  // namespace kestrel
