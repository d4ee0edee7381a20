#include "convertcommand.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QRegularExpression>
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

QByteArray PreviewFormat(const QString& path) {
  const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
  if (!suffix.isEmpty() && QImageWriter::supportedImageFormats().contains(suffix)) return suffix;
  return QByteArrayLiteral("png");
}

}  // namespace

QString HelpText() {
  return QStringLiteral(
      "Usage: kestrel-logo-convert INPUT OUTPUT.bmp [options]\n"
      "\n"
      "Turns a picture (PNG, JPEG, GIF, BMP of any size and depth) into the 240 x 60,\n"
      "black-and-white Windows bitmap that the Kestrel II Logo loader accepts.\n"
      "\n"
      "Options:\n"
      "  --fit               Show the whole picture inside 240 x 60, keeping its shape;\n"
      "                      the space left over gets the background colour (default).\n"
      "  --fill              Cover all of 240 x 60, keeping the shape; what sticks out\n"
      "                      is cut off.\n"
      "  --stretch           Stretch the whole picture to 240 x 60.\n"
      "  --align POSITION    Where a fitted picture sits, or which part a filled one\n"
      "                      keeps: left, center or right and/or top, middle or bottom,\n"
      "                      for example \"left\" or \"top,right\" (default: center).\n"
      "  --background COLOR  Colour behind transparent parts and around a fitted picture:\n"
      "                      a name such as white or black, or #rgb / #rrggbb\n"
      "                      (default: white).\n"
      "  --threshold N       Pixels darker than N (luminance 0 to 255) become black\n"
      "                      (default: 128).\n"
      "  --dither            Spread shades of grey as dot patterns (Floyd-Steinberg)\n"
      "                      instead of a plain threshold; suits photographs.\n"
      "  --invert            Swap black and white.\n"
      "  --preview FILE.png  Also save what the device will show, enlarged 2 x (480 x 120).\n"
      "  -h, --help          Show this help.\n"
      "  --version           Show the version.\n"
      "\n"
      "Exit code 0 on success, 1 when the picture cannot be read or the result cannot be\n"
      "written, 2 for wrong arguments. An existing OUTPUT is only replaced by a complete file;\n"
      "one that is the input, a folder or a device is never replaced.\n");
}

bool ParseThreshold(const QString& text, int* threshold, QString* error) {
  const QString value = text.trimmed();
  bool digitsOnly = !value.isEmpty() && value.size() <= 3;
  for (QChar c : value) digitsOnly = digitsOnly && c.isDigit();
  const int number = digitsOnly ? value.toInt() : -1;
  if (number < 0 || number > 255) {
    *error = QStringLiteral("bad threshold \"%1\": give a whole number from 0 to 255").arg(text);
    return false;
  }
  *threshold = number;
  return true;
}

bool ParseAlignment(const QString& text, ConvertOptions* options, QString* error) {
  const QString bad = QStringLiteral(
                          "bad alignment \"%1\": use left, center or right and/or top, middle "
                          "or bottom, as in \"top,left\"")
                          .arg(text);
  std::optional<HorizontalAlign> horizontal;
  std::optional<VerticalAlign> vertical;
  int centres = 0;  // "center" alone may mean either direction
  static const QRegularExpression separators(QStringLiteral("[\\s,+-]+"));
  const QStringList words = text.toLower().split(separators, Qt::SkipEmptyParts);
  if (words.isEmpty()) {
    *error = bad;
    return false;
  }
  for (const QString& word : words) {
    std::optional<HorizontalAlign> h;
    std::optional<VerticalAlign> v;
    if (word == QLatin1String("left"))
      h = HorizontalAlign::Left;
    else if (word == QLatin1String("right"))
      h = HorizontalAlign::Right;
    else if (word == QLatin1String("top"))
      v = VerticalAlign::Top;
    else if (word == QLatin1String("bottom"))
      v = VerticalAlign::Bottom;
    else if (word == QLatin1String("middle"))
      v = VerticalAlign::Middle;
    else if (word == QLatin1String("center") || word == QLatin1String("centre"))
      ++centres;
    else {
      *error = bad;
      return false;
    }
    if ((h && horizontal) || (v && vertical)) {
      *error = bad;
      return false;
    }
    if (h) horizontal = h;
    if (v) vertical = v;
  }
  for (; centres > 0; --centres) {
    if (!horizontal)
      horizontal = HorizontalAlign::Center;
    else if (!vertical)
      vertical = VerticalAlign::Middle;
    else {
      *error = bad;
      return false;
    }
  }
  options->horizontal = horizontal.value_or(HorizontalAlign::Center);
  options->vertical = vertical.value_or(VerticalAlign::Middle);
  return true;
}

bool ParseBackground(const QString& text, QColor* colour, QString* error) {
  const QColor parsed = QColor::fromString(text.trimmed());
  if (!parsed.isValid()) {
    *error = QStringLiteral(
                 "bad background colour \"%1\": give a colour name such as white or black, "
                 "or #rrggbb")
                 .arg(text);
    return false;
  }
  *colour = parsed;
  return true;
}

ParsedCommandLine ParseCommandLine(const QStringList& arguments) {
  ParsedCommandLine result;
  CommandLine& command = result.command;

  QCommandLineParser parser;
  const QCommandLineOption fit(QStringLiteral("fit"));
  const QCommandLineOption fill(QStringLiteral("fill"));
  const QCommandLineOption stretch(QStringLiteral("stretch"));
  const QCommandLineOption align(QStringLiteral("align"), QString(), QStringLiteral("POSITION"));
  const QCommandLineOption background(QStringLiteral("background"), QString(),
                                      QStringLiteral("COLOR"));
  const QCommandLineOption threshold(QStringLiteral("threshold"), QString(), QStringLiteral("N"));
  const QCommandLineOption dither(QStringLiteral("dither"));
  const QCommandLineOption invert(QStringLiteral("invert"));
  const QCommandLineOption preview(QStringLiteral("preview"), QString(), QStringLiteral("FILE"));
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringLiteral("version"));
  parser.addOptions(
      {fit, fill, stretch, align, background, threshold, dither, invert, preview, help, version});

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

  ConvertOptions& options = command.options;
  const int modes = int(parser.isSet(fit)) + int(parser.isSet(fill)) + int(parser.isSet(stretch));
  if (modes > 1) {
    result.error = QStringLiteral("choose only one of --fit, --fill and --stretch");
    return result;
  }
  if (parser.isSet(fill)) options.mode = ScaleMode::Fill;
  if (parser.isSet(stretch)) options.mode = ScaleMode::Stretch;
  if (parser.isSet(align) && !ParseAlignment(parser.value(align), &options, &result.error))
    return result;
  if (parser.isSet(background) &&
      !ParseBackground(parser.value(background), &options.background, &result.error))
    return result;
  if (parser.isSet(threshold) &&
      !ParseThreshold(parser.value(threshold), &options.threshold, &result.error))
    return result;
  options.dither = parser.isSet(dither);
  options.invert = parser.isSet(invert);

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
  const QImage picture = LoadPicture(command.input, &error);
  if (picture.isNull()) return error;
  const QByteArray bitmap = EncodeLogoBitmap(RasterOf(ConvertPicture(picture, command.options)));

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
