#include "picture/logoimage.h"

namespace kestrel {

QImage LogoImage(const LogoRaster& raster) {
  // Format_Mono keeps the raster's bit order (MSB leftmost), so rows copy over byte for byte.
  QImage image(240, 60, QImage::Format_Mono);
  image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  for (int row = 0; row < 60; ++row) {
    uchar* line = image.scanLine(row);
    for (int c = 0; c < 30; ++c) line[c] = raster[static_cast<size_t>(row * 30 + c)];
  }
  return image;
}

QImage LogoPreviewImage(const LogoRaster& raster) {
  return LogoImage(raster).scaled(480, 120, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

}  // namespace kestrel
