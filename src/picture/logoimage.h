#pragma once

#include <QImage>

#include "logo/logoraster.h"

namespace kestrel {

// The raster as the device shows it: 240 x 60, black where a bit is 1.
QImage LogoImage(const LogoRaster& raster);

// The same at twice the size, each logo pixel a 2 x 2 square: the 480 x 120 preview.
QImage LogoPreviewImage(const LogoRaster& raster);

}  // namespace kestrel
