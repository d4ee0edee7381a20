#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

#include "logo/bitmapfile.h"

namespace kestrel {

inline constexpr int kLogoBytes = 1800;

// Indices 0..1799 hold the device raster (60 rows of 30 bytes, top row first, MSB leftmost);
// index 1800 stays 0 and is never sent.
using LogoRaster = std::array<uint8_t, kLogoBytes + 1>;

// Overwrites logoData[0..1799] from an accepted file's pixel rows. pixels must hold at least
// 1918 bytes (the reader guarantees it); shorter buffers, or a header whose rows do not make
// exactly 1800 raster bytes, leave logoData untouched and return false.
bool BuildLogoRaster(const BitmapHeader& header, const QByteArray& pixels, LogoRaster& logoData);

// A logo file read, checked and turned into the raster the device gets.
struct LogoLoad {
  LogoFileResult::Outcome outcome = LogoFileResult::Outcome::CannotOpen;
  LogoRaster raster{};  // meaningful only when Accepted
  QString openError;    // why the file could not be opened
  bool lighterColourFirst = false;  // other viewers show it inverted; see LogoFileResult
};
LogoLoad LoadLogoFile(const QString& path);

}  // namespace kestrel
