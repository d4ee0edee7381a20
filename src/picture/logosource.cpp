#include "picture/logosource.h"

#include <QDir>
#include <QFileInfo>

#include "app/usertexts.h"
#include "picture/pictureread.h"

namespace kestrel {

LogoSource ReadLogoSource(const QString& path, const convert::ConvertOptions& options) {
  LogoSource source;
  const auto refuse = [&](const QString& reason) {
    source.error =
        QString::fromLatin1(kCannotOpenFileMessage).arg(QDir::toNativeSeparators(path), reason);
    return source;
  };
  // A FIFO or a device would block the reader or never end.
  const QFileInfo info(path);
  if (!info.exists()) return refuse(QStringLiteral("No such file or directory"));
  if (!info.isFile()) return refuse(QStringLiteral("not a regular file"));

  const LogoLoad logo = LoadLogoFile(path);
  switch (logo.outcome) {
    case LogoFileResult::Outcome::Accepted:
      source.kind = LogoSource::Kind::LogoBitmap;
      source.raster = logo.raster;
      source.lighterColourFirst = logo.lighterColourFirst;
      return source;
    case LogoFileResult::Outcome::CannotOpen:
      return refuse(logo.openError);
    case LogoFileResult::Outcome::NotABitmap:
    case LogoFileResult::Outcome::WrongFormat:
      break;
  }

  QString error;
  const QImage picture = convert::LoadPicture(path, &error);
  if (picture.isNull()) {
    source.error = error;
    return source;
  }
  source.kind = LogoSource::Kind::ConvertedPicture;
  source.raster = convert::RasterOf(convert::ConvertPicture(picture, options));
  return source;
}

}  // namespace kestrel
