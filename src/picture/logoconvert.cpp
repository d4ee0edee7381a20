#include "picture/logoconvert.h"

#include <QColorSpace>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

namespace kestrel::convert {

namespace {

// Start, centre and end are 0, 1 and 2 in both directions.
template <typename Align>
int AlignedOffset(int freeSpace, Align align) {
  return freeSpace * static_cast<int>(align) / 2;
}

// A scaled length, kept at least one pixel so a thin picture never vanishes.
int ScaledLength(double length, int limit) {
  return static_cast<int>(std::clamp<double>(std::round(length), 1.0, limit));
}

}  // namespace

QRect PlacementOnLogo(QSize picture, const ConvertOptions& options) {
  const QRect whole(0, 0, kLogoWidth, kLogoHeight);
  if (options.mode != ScaleMode::Fit || picture.isEmpty()) return whole;
  const double scale =
      std::min(double(kLogoWidth) / picture.width(), double(kLogoHeight) / picture.height());
  const int width = ScaledLength(picture.width() * scale, kLogoWidth);
  const int height = ScaledLength(picture.height() * scale, kLogoHeight);
  return QRect(AlignedOffset(kLogoWidth - width, options.horizontal),
               AlignedOffset(kLogoHeight - height, options.vertical), width, height);
}

QRect CropFromPicture(QSize picture, const ConvertOptions& options) {
  const QRect whole(QPoint(0, 0), picture);
  if (options.mode != ScaleMode::Fill || picture.isEmpty()) return whole;
  const double scale =
      std::max(double(kLogoWidth) / picture.width(), double(kLogoHeight) / picture.height());
  const int width = ScaledLength(kLogoWidth / scale, picture.width());
  const int height = ScaledLength(kLogoHeight / scale, picture.height());
  return QRect(AlignedOffset(picture.width() - width, options.horizontal),
               AlignedOffset(picture.height() - height, options.vertical), width, height);
}

QImage ComposeLogo(const QImage& picture, const ConvertOptions& options) {
  QImage canvas(kLogoWidth, kLogoHeight, QImage::Format_RGB32);
  // A translucent background colour is taken as laid over white paper.
  canvas.fill(Qt::white);
  QPainter painter(&canvas);
  painter.fillRect(canvas.rect(), options.background);
  if (!picture.isNull() && !picture.size().isEmpty()) {
    QImage source = picture;
    if (source.colorSpace().isValid() && source.colorSpace() != QColorSpace::SRgb)
      source.convertToColorSpace(QColorSpace::SRgb);
    // Premultiplied, so the colour of fully transparent pixels cannot bleed in while scaling.
    source = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (options.mode == ScaleMode::Fill)
      source = source.copy(CropFromPicture(source.size(), options));
    const QRect target = PlacementOnLogo(source.size(), options);
    painter.drawImage(target.topLeft(), source.scaled(target.size(), Qt::IgnoreAspectRatio,
                                                      Qt::SmoothTransformation));
  }
  painter.end();
  return canvas;
}

double Luminance(QRgb colour) {
  return 0.299 * qRed(colour) + 0.587 * qGreen(colour) + 0.114 * qBlue(colour);
}

LogoPicture ToBlackAndWhite(const QImage& composed, const ConvertOptions& options) {
  const QImage rgb = composed.convertToFormat(QImage::Format_RGB32);
  std::vector<double> level(static_cast<size_t>(kLogoWidth * kLogoHeight), 255.0);
  auto at = [&level](int x, int y) -> double& {
    return level[static_cast<size_t>(y * kLogoWidth + x)];
  };
  for (int y = 0; y < std::min(kLogoHeight, rgb.height()); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < std::min(kLogoWidth, rgb.width()); ++x) at(x, y) = Luminance(line[x]);
  }

  LogoPicture logo;
  for (int y = 0; y < kLogoHeight; ++y) {
    // Floyd-Steinberg, serpentine so the error does not drift in one direction.
    const bool leftToRight = (y % 2) == 0;
    const int step = leftToRight ? 1 : -1;
    for (int i = 0; i < kLogoWidth; ++i) {
      const int x = leftToRight ? i : kLogoWidth - 1 - i;
      const double value = at(x, y);
      const bool black = value < options.threshold;
      logo.setBlack(x, y, black != options.invert);
      if (!options.dither) continue;
      const double error = value - (black ? 0.0 : 255.0);
      const bool hasNext = x + step >= 0 && x + step < kLogoWidth;
      const bool hasPrevious = x - step >= 0 && x - step < kLogoWidth;
      if (hasNext) at(x + step, y) += error * 7.0 / 16.0;
      if (y + 1 < kLogoHeight) {
        if (hasPrevious) at(x - step, y + 1) += error * 3.0 / 16.0;
        at(x, y + 1) += error * 5.0 / 16.0;
        if (hasNext) at(x + step, y + 1) += error * 1.0 / 16.0;
      }
    }
  }
  return logo;
}

LogoPicture ConvertPicture(const QImage& picture, const ConvertOptions& options) {
  return ToBlackAndWhite(ComposeLogo(picture, options), options);
}

LogoRaster RasterOf(const LogoPicture& logo) {
  LogoRaster raster{};
  for (int y = 0; y < kLogoHeight; ++y)
    for (int x = 0; x < kLogoWidth; ++x)
      if (logo.isBlack(x, y))
        raster[static_cast<size_t>(y * (kLogoWidth / 8) + x / 8)] |=
            static_cast<uint8_t>(0x80u >> (x % 8));
  return raster;
}

}  // namespace kestrel::convert
