#include "picture/logosave.h"

#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QStringList>
#include <algorithm>

#include "files/fileaccess.h"
#include "logo/logobitmap.h"

namespace kestrel {

QString OtherPictureFormat(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix.isEmpty() || suffix == QLatin1String("bmp") || suffix == QLatin1String("dib"))
    return {};
  // Also those that no image plugin here reads.
  static const QStringList kCommon{
      QStringLiteral("png"),  QStringLiteral("jpg"),  QStringLiteral("jpeg"),
      QStringLiteral("jpe"),  QStringLiteral("jfif"), QStringLiteral("gif"),
      QStringLiteral("tif"),  QStringLiteral("tiff"), QStringLiteral("webp"),
      QStringLiteral("heic"), QStringLiteral("heif"), QStringLiteral("avif"),
      QStringLiteral("jxl"),  QStringLiteral("jp2"),  QStringLiteral("ico"),
      QStringLiteral("svg"),  QStringLiteral("pbm"),  QStringLiteral("pgm"),
      QStringLiteral("ppm"),  QStringLiteral("pnm"),  QStringLiteral("tga"),
      QStringLiteral("psd"),  QStringLiteral("pcx"),  QStringLiteral("xpm")};
  QStringList known = kCommon;
  for (const QList<QByteArray>& formats :
       {QImageReader::supportedImageFormats(), QImageWriter::supportedImageFormats()})
    for (const QByteArray& format : formats) known << QString::fromLatin1(format).toLower();
  return known.contains(suffix) ? suffix : QString();
}

LogoSaveFailure SaveLogoBitmap(const LogoRaster& raster, const QString& path,
                               const QString& source) {
  LogoSaveFailure failure;
  failure.path = path;
  if (!source.isEmpty() && files::SameFile(path, source)) {
    failure.kind = LogoSaveFailure::Kind::WouldReplaceSource;
    return failure;
  }
  if (const QString format = OtherPictureFormat(path); !format.isEmpty()) {
    failure.kind = LogoSaveFailure::Kind::NamedAsOtherFormat;
    failure.format = format;
    return failure;
  }
  if (QString failed = files::SaveFile(path, EncodeLogoBitmap(raster)); !failed.isEmpty()) {
    failure.kind = LogoSaveFailure::Kind::CannotWrite;
    failure.reason = std::move(failed);
    return failure;
  }
  const LogoLoad check = LoadLogoFile(path);
  if (check.outcome != LogoFileResult::Outcome::Accepted ||
      !std::equal(check.raster.begin(), check.raster.begin() + kLogoBytes, raster.begin()))
    failure.kind = LogoSaveFailure::Kind::DoesNotReadBack;
  return failure;
}

}  // namespace kestrel
