#include "convertcommand.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <limits>
#include <optional>

#include "files/fileaccess.h"
#include "kestrel/version.h"
#include "logo/logobitmap.h"
#include "logo/logoraster.h"
#include "picture/logoimage.h"
#include "picture/pictureread.h"

namespace kestrel::convert {

namespace {

QString AbsoluteClean(const QString& path) {
  return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString CannotWrite(const QString& what, const QString& path, const QString& why) {
  return QStringLiteral("cannot write %1%2: %3").arg(what, ShownPath(path), AsMessagePart(why));
}

// The picture format an output's extension names when it is not the bitmap's own: the file
// would be a BMP that other programs take for that format. Empty for .bmp, no extension, or
// an extension that names no picture format.
QString OtherPictureFormat(const QString& output) {
  const QString suffix = QFileInfo(output).suffix().toLower();
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

QByteArray PreviewFormat(const QString& path) {
  const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
  if (!suffix.isEmpty() && QImageWriter::supportedImageFormats().contains(suffix)) return suffix;
  return QByteArrayLiteral("png");
}

}  // namespace

QString HelpText() {
  QString text = QStringLiteral(
      "Usage: kestrel-logo-convert INPUT OUTPUT.bmp [options]\n"
      "\n"
      "Turns a picture (PNG, JPEG, GIF, BMP of any size and depth) into the 240 x 60,\n"
      "black-and-white Windows bitmap that the Kestrel II Logo loader accepts.\n"
      "\n"
      "Options:\n");
  text += PictureOptions::HelpLines();
  text += QStringLiteral(
      "  --preview FILE.png  Also save what the device will show, enlarged 2 x (480 x 120).\n"
      "  -h, --help          Show this help.\n"
      "  --version           Show the version.\n"
      "\n"
      "Exit status 0 on success, 1 when the picture cannot be read or the result cannot be\n"
      "written, 64 for wrong arguments. An existing OUTPUT is only replaced by a complete\n"
      "file; one that is the input, a folder or a device is never replaced.\n");
  return text;
}

ParsedCommandLine ParseCommandLine(const QStringList& arguments) {
  ParsedCommandLine result;
  CommandLine& command = result.command;

  QCommandLineParser parser;
  const PictureOptions pictureOptions;
  pictureOptions.addTo(parser);
  const QCommandLineOption preview(QStringLiteral("preview"), QString(), QStringLiteral("FILE"));
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringLiteral("version"));
  parser.addOptions({preview, help, version});

  if (!parser.parse(arguments)) {
    result.error = AsMessagePart(parser.errorText());
    return result;
  }
  if (parser.isSet(help)) {
    command.showHelp = true;
    return result;
  }
  if (parser.isSet(version)) {
    command.showVersion = true;
    return result;
  }

  if (!pictureOptions.read(parser, &command.options, &result.error)) return result;

  const QStringList files = parser.positionalArguments();
  if (files.isEmpty()) {
    result.error = QStringLiteral("give the input picture and the output bitmap");
    return result;
  }
  if (files.size() == 1) {
    result.error = QStringLiteral("give the output bitmap after the input picture");
    return result;
  }
  if (files.size() > 2) {
    result.error =
        QStringLiteral("too many file names: %1").arg(files.mid(2).join(QLatin1Char(' ')));
    return result;
  }
  command.input = files[0];
  command.output = files[1];
  if (command.input.isEmpty() || command.output.isEmpty()) {
    result.error = QStringLiteral("a file name is empty");
    return result;
  }
  if (parser.isSet(preview)) {
    command.preview = parser.value(preview);
    if (command.preview.isEmpty()) {
      result.error = QStringLiteral("the preview file name is empty");
      return result;
    }
    // Compared by name too: neither needs to exist yet.
    if (AbsoluteClean(command.preview) == AbsoluteClean(command.output) ||
        files::SameFile(command.preview, command.output)) {
      result.error = QStringLiteral("the preview and the bitmap must be different files");
      return result;
    }
  }
  // Compared as files: another spelling of the input, or a link to it, is the input.
  if (files::SameFile(command.output, command.input)) {
    result.error = QStringLiteral("the bitmap would replace the input picture: give another name");
    return result;
  }
  if (!command.preview.isEmpty() && files::SameFile(command.preview, command.input)) {
    result.error = QStringLiteral("the preview would replace the input picture: give another name");
    return result;
  }
  if (const QString format = OtherPictureFormat(command.output); !format.isEmpty()) {
    result.error = QStringLiteral(
                       "the bitmap %1 would be a BMP file named as %2: give it the "
                       "extension .bmp")
                       .arg(ShownPath(command.output), format.toUpper());
    return result;
  }
  return result;
}

QString ConvertLogoFile(const CommandLine& command) {
  const QString previewWhat = QStringLiteral("the preview ");
  // Both outputs are looked at before anything is written: a device, a folder or a place that
  // cannot be written leaves the other output untouched too.
  if (const QString problem = files::SaveProblem(command.output); !problem.isEmpty())
    return CannotWrite(QString(), command.output, problem);
  if (!command.preview.isEmpty()) {
    if (const QString problem = files::SaveProblem(command.preview); !problem.isEmpty())
      return CannotWrite(previewWhat, command.preview, problem);
  }

  QString error;
  const std::optional<LogoPicture> logo =
      ConvertPictureFile(command.input, command.options, &error);
  if (!logo) return error;
  const QByteArray bitmap = EncodeLogoBitmap(RasterOf(*logo));

  // Only ever replaced by a complete file.
  if (const QString failed = files::SaveFile(command.output, bitmap); !failed.isEmpty())
    return CannotWrite(QString(), command.output, failed);

  // Read back with the loader's own reader: proves the file is accepted, and the preview shows
  // exactly the raster the loader will send.
  const LogoLoad check = LoadLogoFile(command.output);
  if (check.outcome != LogoFileResult::Outcome::Accepted)
    return QStringLiteral("the written bitmap %1 does not read back as a logo")
        .arg(ShownPath(command.output));

  if (!command.preview.isEmpty()) {
    // A link that led nowhere before may lead to the bitmap now that it exists.
    if (files::SameFile(command.preview, command.output))
      return QStringLiteral("the preview and the bitmap must be different files");
    QBuffer encoded;
    encoded.open(QIODevice::WriteOnly);
    QImageWriter writer(&encoded, PreviewFormat(command.preview));
    if (!writer.write(LogoPreviewImage(check.raster)))
      return CannotWrite(previewWhat, command.preview, writer.errorString());
    if (const QString failed = files::SaveFile(command.preview, encoded.data()); !failed.isEmpty())
      return CannotWrite(previewWhat, command.preview, failed);
  }
  return {};
}

int RunConverter(const QStringList& arguments, QTextStream& out, QTextStream& err) {
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (!parsed.error.isEmpty()) {
    err << kProgramName << ": " << parsed.error << " (see --help)\n";
    err.flush();
    return kExitBadUsage;
  }
  if (parsed.command.showHelp) {
    out << HelpText();
    out.flush();
    return kExitOk;
  }
  if (parsed.command.showVersion) {
    out << kProgramName << ' ' << kVersionText << '\n';
    out.flush();
    return kExitOk;
  }
  const QString error = ConvertLogoFile(parsed.command);
  if (!error.isEmpty()) {
    err << kProgramName << ": " << error << '\n';
    err.flush();
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace kestrel::convert
