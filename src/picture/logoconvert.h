#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "logo/logoraster.h"

namespace kestrel::convert {

inline constexpr int kLogoWidth = 240;
inline constexpr int kLogoHeight = 60;

enum class ScaleMode {
  Fit,      // whole picture inside, aspect kept, the rest filled with the background
  Fill,     // covers the whole logo, aspect kept, the overflow cropped
  Stretch,  // whole picture, aspect ignored
};
enum class HorizontalAlign { Left = 0, Center = 1, Right = 2 };
enum class VerticalAlign { Top = 0, Middle = 1, Bottom = 2 };

struct ConvertOptions {
  ScaleMode mode = ScaleMode::Fit;
  HorizontalAlign horizontal = HorizontalAlign::Center;
  VerticalAlign vertical = VerticalAlign::Middle;
  QColor background = QColor(Qt::white);
  int threshold = 128;  // luminance 0..255; below it a pixel turns black
  bool dither = false;
  bool invert = false;
};

// The two-colour logo, top row first: black[y * 240 + x] is 1 for a black pixel.
struct LogoPicture {
  std::array<uint8_t, kLogoWidth * kLogoHeight> black{};

  bool isBlack(int x, int y) const { return black[static_cast<size_t>(y * kLogoWidth + x)] != 0; }
  void setBlack(int x, int y, bool value) {
    black[static_cast<size_t>(y * kLogoWidth + x)] = value ? 1 : 0;
  }
};

// Where a picture of the given size lands on the 240 x 60 logo (fit, stretch), or which part of
// it is kept (fill: a rectangle in the picture's own coordinates). Never empty.
QRect PlacementOnLogo(QSize picture, const ConvertOptions& options);
QRect CropFromPicture(QSize picture, const ConvertOptions& options);

// Picture pixels decoded for each logo pixel they land on, in each direction: enough that the
// logo looks as it does from the whole picture.
inline constexpr int kDecodeDetail = 2;

// The smallest size of the whole picture, of the given full size, that still has kDecodeDetail
// of its pixels for each logo pixel the part the logo shows lands on; the full size when no
// smaller one is.
QSize DecodeSizeFor(QSize picture, const ConvertOptions& options);

// Scales and places the picture over the background: a 240 x 60 opaque RGB image. A picture
// decoded at a reduced size is given with its full size, on which placement and cropping are
// worked out.
QImage ComposeLogo(const QImage& picture, const ConvertOptions& options, QSize fullSize = QSize());

// Luminance in 0..255 of an opaque colour.
double Luminance(QRgb colour);

// Threshold or error diffusion, then the optional inversion.
LogoPicture ToBlackAndWhite(const QImage& composed, const ConvertOptions& options);

LogoPicture ConvertPicture(const QImage& picture, const ConvertOptions& options,
                           QSize fullSize = QSize());

struct PictureFailure;

// Reads the picture file, decoded only as large as the logo needs, and converts it; nothing and
// what failed when it cannot be read.
std::optional<LogoPicture> ConvertPictureFile(const QString& path, const ConvertOptions& options,
                                              PictureFailure* failure);

// The raster the device gets for this picture: a 1 bit where the picture is black.
LogoRaster RasterOf(const LogoPicture& logo);

}  // namespace kestrel::convert
