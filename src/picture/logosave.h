#pragma once

#include <QString>

#include "logo/logoraster.h"

namespace kestrel {

// Why a logo bitmap was not saved, worded where it is shown (src/texts).
struct LogoSaveFailure {
  enum class Kind {
    None,
    WouldReplaceSource,  // the file named is the picture the logo was made from
    NamedAsOtherFormat,  // format: the picture format the name's extension says
    CannotWrite,         // reason: the system's words
    DoesNotReadBack,     // written, but the loader would not send this raster from it
  };
  Kind kind = Kind::None;
  QString path;
  QString format;
  QString reason;
  bool failed() const { return kind != Kind::None; }
};

// The picture format an extension names when it is not the bitmap's own (.bmp, .dib, none):
// a BMP under that name would be taken for the other format. Empty otherwise.
QString OtherPictureFormat(const QString& path);

// Saves raster as the logo bitmap the loader accepts, never over source (another spelling or a
// link to it included), never into a device, FIFO or folder, and only ever replacing a complete
// file. It is read back with the loader's own reader: the file holds exactly this raster.
LogoSaveFailure SaveLogoBitmap(const LogoRaster& raster, const QString& path,
                               const QString& source = QString());

}  // namespace kestrel
