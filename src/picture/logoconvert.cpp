#include "picture/logoconvert.h"

#include <QColorSpace>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

#include "picture/pictureread.h"

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

// A part of the full-size picture in the pixels of the picture as decoded, edges rounded to
// the nearest pixel; at least one pixel.
QRect InDecodedPixels(QRect part, QSize full, QSize decoded) {
  if (full == decoded) return part;
  auto edge = [](int at, int fullLength, int decodedLength) {
    return static_cast<int>(std::lround(double(at) * decodedLength / fullLength));
  };
  const int left = std::min(edge(part.left(), full.width(), decoded.width()), decoded.width() - 1);
  const int top = std::min(edge(part.top(), full.height(), decoded.height()), decoded.height() - 1);
  const int right = edge(part.left() + part.width(), full.width(), decoded.width());
  const int bottom = edge(part.top() + part.height(), full.height(), decoded.height());
  return QRect(left, top, std::max(1, right - left), std::max(1, bottom - top));
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

QSize DecodeSizeFor(QSize picture, const ConvertOptions& options) {
  if (picture.isEmpty()) return picture;
  const QRect part = CropFromPicture(picture, options);
  const QSize target = PlacementOnLogo(picture, options).size();
  const double scale = std::max(double(kDecodeDetail * target.width()) / part.width(),
                                double(kDecodeDetail * target.height()) / part.height());
  if (scale >= 1) return picture;
  return QSize(std::min(picture.width(), static_cast<int>(std::ceil(picture.width() * scale))),
               std::min(picture.height(), static_cast<int>(std::ceil(picture.height() * scale))));
}

QImage ComposeLogo(const QImage& picture, const ConvertOptions& options, QSize fullSize) {
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
    // Placement and cropping are worked out on the full size, whatever size was decoded.
    const QSize full = fullSize.isValid() ? fullSize : source.size();
    if (options.mode == ScaleMode::Fill)
      source = source.copy(InDecodedPixels(CropFromPicture(full, options), full, source.size()));
    const QRect target = PlacementOnLogo(full, options);
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

LogoPicture ConvertPicture(const QImage& picture, const ConvertOptions& options, QSize fullSize) {
  return ToBlackAndWhite(ComposeLogo(picture, options, fullSize), options);
}

std::optional<LogoPicture> ConvertPictureFile(const QString& path, const ConvertOptions& options,
                                              PictureFailure* failure) {
  QSize fullSize;
  const QImage picture = LoadPicture(
      path, failure, [&options](QSize full) { return DecodeSizeFor(full, options); }, &fullSize);
  if (picture.isNull()) return std::nullopt;
  return ConvertPicture(picture, options, fullSize);
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
