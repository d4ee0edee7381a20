#pragma once

#include <QByteArray>

#include "logo/logoraster.h"

namespace kestrel {

// The 1982-byte Windows bitmap of a raster: 40-byte information header, palette entry 0 black
// and entry 1 white, rows bottom-up. The loader reads it back as the same raster, and other
// viewers show it as the device will.
QByteArray EncodeLogoBitmap(const LogoRaster& raster);

}  // namespace kestrel
