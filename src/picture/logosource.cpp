#include "picture/logosource.h"

#include "logo/logoraster.h"

namespace kestrel {

LogoSource ReadLogoSource(const QString& path, const convert::ConvertOptions& options) {
  LogoSource source;
  // Opens regular files only: a FIFO or a device would block the reader or never end.
  const LogoLoad logo = LoadLogoFile(path);
  switch (logo.outcome) {
    case LogoFileResult::Outcome::Accepted:
      source.kind = LogoSource::Kind::LogoBitmap;
      source.raster = logo.raster;
      source.lighterColourFirst = logo.lighterColourFirst;
      return source;
    case LogoFileResult::Outcome::CannotOpen:
      source.failure = {convert::PictureFailure::Kind::CannotOpenLogo, path, logo.openError, {}};
      return source;
    case LogoFileResult::Outcome::NotABitmap:
    case LogoFileResult::Outcome::WrongFormat:
      break;
  }

  const QImage picture = convert::LoadPicture(path, &source.failure);
  if (picture.isNull()) return source;
  source.kind = LogoSource::Kind::ConvertedPicture;
  source.raster = convert::RasterOf(convert::ConvertPicture(picture, options));
  return source;
}

}  // namespace kestrel
