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
#include "logo/logoraster.h"
#include "picture/logoimage.h"
#include "picture/logosave.h"
#include "picture/pictureread.h"
#include "texts/picturetexts.h"
#include "texts/usertexts.h"

namespace kestrel::convert {

namespace {

QString AbsoluteClean(const QString& path) {
  return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QByteArray PreviewFormat(const QString& path) {
  const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
  if (!suffix.isEmpty() && QImageWriter::supportedImageFormats().contains(suffix)) return suffix;
  return QByteArrayLiteral("png");
}

}  // namespace

QString HelpText() { return texts::ConvertHelp(); }

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

  if (OptionProblem problem; !pictureOptions.read(parser, &command.options, &problem)) {
    result.error = texts::OptionProblemText(problem);
    return result;
  }

  const QStringList files = parser.positionalArguments();
  if (files.isEmpty()) {
    result.error = texts::GiveInputAndOutput();
    return result;
  }
  if (files.size() == 1) {
    result.error = texts::GiveOutputAfterInput();
    return result;
  }
  if (files.size() > 2) {
    result.error = texts::TooManyFileNames(files.mid(2).join(QLatin1Char(' ')));
    return result;
  }
  command.input = files[0];
  command.output = files[1];
  if (command.input.isEmpty() || command.output.isEmpty()) {
    result.error = texts::EmptyFileName();
    return result;
  }
  if (parser.isSet(preview)) {
    command.preview = parser.value(preview);
    if (command.preview.isEmpty()) {
      result.error = texts::EmptyPreviewName();
      return result;
    }
    // Compared by name too: neither needs to exist yet.
    if (AbsoluteClean(command.preview) == AbsoluteClean(command.output) ||
        files::SameFile(command.preview, command.output)) {
      result.error = texts::PreviewIsTheBitmap();
      return result;
    }
  }
  // Compared as files: another spelling of the input, or a link to it, is the input.
  if (files::SameFile(command.output, command.input)) {
    result.error = texts::BitmapWouldReplaceInput();
    return result;
  }
  if (!command.preview.isEmpty() && files::SameFile(command.preview, command.input)) {
    result.error = texts::PreviewWouldReplaceInput();
    return result;
  }
  if (const QString format = OtherPictureFormat(command.output); !format.isEmpty()) {
    result.error = texts::BitmapNamedAsOtherFormat(ShownPath(command.output), format.toUpper());
    return result;
  }
  return result;
}

QString ConvertLogoFile(const CommandLine& command) {
  // Both outputs are looked at before anything is written: a device, a folder or a place that
  // cannot be written leaves the other output untouched too.
  if (const QString problem = files::SaveProblem(command.output); !problem.isEmpty())
    return texts::CannotWriteBitmap(ShownPath(command.output), AsMessagePart(problem));
  if (!command.preview.isEmpty()) {
    if (const QString problem = files::SaveProblem(command.preview); !problem.isEmpty())
      return texts::CannotWritePreview(ShownPath(command.preview), AsMessagePart(problem));
  }

  PictureFailure failure;
  const std::optional<LogoPicture> logo =
      ConvertPictureFile(command.input, command.options, &failure);
  if (!logo) return texts::PictureFailureText(failure);

  // Only ever replaced by a complete file, and read back with the loader's own reader: proves
  // the file is accepted, and the preview shows exactly the raster the loader will send.
  const LogoRaster raster = RasterOf(*logo);
  if (const LogoSaveFailure saved = SaveLogoBitmap(raster, command.output, command.input);
      saved.failed())
    return texts::LogoSaveFailureText(saved);

  if (!command.preview.isEmpty()) {
    // A link that led nowhere before may lead to the bitmap now that it exists.
    if (files::SameFile(command.preview, command.output)) return texts::PreviewIsTheBitmap();
    QBuffer encoded;
    encoded.open(QIODevice::WriteOnly);
    QImageWriter writer(&encoded, PreviewFormat(command.preview));
    if (!writer.write(LogoPreviewImage(raster)))
      return texts::CannotWritePreview(ShownPath(command.preview),
                                       AsMessagePart(writer.errorString()));
    if (const QString failed = files::SaveFile(command.preview, encoded.data()); !failed.isEmpty())
      return texts::CannotWritePreview(ShownPath(command.preview), AsMessagePart(failed));
  }
  return {};
}

int RunConverter(const QStringList& arguments, QTextStream& out, QTextStream& err) {
  const ParsedCommandLine parsed = ParseCommandLine(arguments);
  if (!parsed.error.isEmpty()) {
    err << kProgramName << ": " << texts::SeeHelp(parsed.error) << '\n';
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
