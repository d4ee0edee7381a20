#include "picture/convertoptions.h"

#include <QRegularExpression>
#include <QStringList>
#include <optional>

namespace kestrel::convert {

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

PictureOptions::PictureOptions()
    : fit_(QStringLiteral("fit")),
      fill_(QStringLiteral("fill")),
      stretch_(QStringLiteral("stretch")),
      align_(QStringLiteral("align"), QString(), QStringLiteral("POSITION")),
      background_(QStringLiteral("background"), QString(), QStringLiteral("COLOR")),
      threshold_(QStringLiteral("threshold"), QString(), QStringLiteral("N")),
      dither_(QStringLiteral("dither")),
      invert_(QStringLiteral("invert")) {}

void PictureOptions::addTo(QCommandLineParser& parser) const {
  parser.addOptions({fit_, fill_, stretch_, align_, background_, threshold_, dither_, invert_});
}

bool PictureOptions::read(const QCommandLineParser& parser, ConvertOptions* options,
                          QString* error) const {
  const int modes =
      int(parser.isSet(fit_)) + int(parser.isSet(fill_)) + int(parser.isSet(stretch_));
  if (modes > 1) {
    *error = QStringLiteral("choose only one of --fit, --fill and --stretch");
    return false;
  }
  if (parser.isSet(fill_)) options->mode = ScaleMode::Fill;
  if (parser.isSet(stretch_)) options->mode = ScaleMode::Stretch;
  if (parser.isSet(align_) && !ParseAlignment(parser.value(align_), options, error)) return false;
  if (parser.isSet(background_) &&
      !ParseBackground(parser.value(background_), &options->background, error))
    return false;
  if (parser.isSet(threshold_) &&
      !ParseThreshold(parser.value(threshold_), &options->threshold, error))
    return false;
  options->dither = parser.isSet(dither_);
  options->invert = parser.isSet(invert_);
  return true;
}

QString PictureOptions::HelpLines() {
  return QStringLiteral(
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
      "  --invert            Swap black and white.\n");
}

}  // namespace kestrel::convert
