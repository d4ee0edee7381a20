#pragma once

#include <QString>

#include "logo/logoraster.h"
#include "picture/logoconvert.h"
#include "picture/pictureread.h"

namespace kestrel {

// The raster to send for a file: a logo bitmap the loader accepts is taken as it is (exactly
// what Open Bitmap would send); any other picture is converted as kestrel-logo-convert does.
struct LogoSource {
  enum class Kind { LogoBitmap, ConvertedPicture, Refused };
  Kind kind = Kind::Refused;
  LogoRaster raster{};
  convert::PictureFailure failure;  // why it was refused
  bool lighterColourFirst = false;  // a logo bitmap that other viewers show inverted

  bool usable() const { return kind != Kind::Refused; }
};

LogoSource ReadLogoSource(const QString& path, const convert::ConvertOptions& options);

}  // namespace kestrel
