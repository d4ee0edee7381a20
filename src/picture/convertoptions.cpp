#include "picture/convertoptions.h"

#include <QRegularExpression>
#include <QStringList>
#include <optional>

namespace kestrel::convert {

bool ParseThreshold(const QString& text, int* threshold) {
  const QString value = text.trimmed();
  bool digitsOnly = !value.isEmpty() && value.size() <= 3;
  for (QChar c : value) digitsOnly = digitsOnly && c.isDigit();
  const int number = digitsOnly ? value.toInt() : -1;
  if (number < 0 || number > 255) return false;
  *threshold = number;
  return true;
}

bool ParseAlignment(const QString& text, ConvertOptions* options) {
  std::optional<HorizontalAlign> horizontal;
  std::optional<VerticalAlign> vertical;
  int centres = 0;  // "center" alone may mean either direction
  static const QRegularExpression separators(QStringLiteral("[\\s,+-]+"));
  const QStringList words = text.toLower().split(separators, Qt::SkipEmptyParts);
  if (words.isEmpty()) return false;
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
    else
      return false;
    if ((h && horizontal) || (v && vertical)) return false;
    if (h) horizontal = h;
    if (v) vertical = v;
  }
  for (; centres > 0; --centres) {
    if (!horizontal)
      horizontal = HorizontalAlign::Center;
    else if (!vertical)
      vertical = VerticalAlign::Middle;
    else
      return false;
  }
  options->horizontal = horizontal.value_or(HorizontalAlign::Center);
  options->vertical = vertical.value_or(VerticalAlign::Middle);
  return true;
}

bool ParseBackground(const QString& text, QColor* colour) {
  const QColor parsed = QColor::fromString(text.trimmed());
  if (!parsed.isValid()) return false;
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
                          OptionProblem* problem) const {
  const auto bad = [problem](OptionProblem::Kind kind, const QString& value = {}) {
    *problem = OptionProblem{kind, value};
    return false;
  };
  const int modes =
      int(parser.isSet(fit_)) + int(parser.isSet(fill_)) + int(parser.isSet(stretch_));
  if (modes > 1) return bad(OptionProblem::Kind::SeveralModes);
  if (parser.isSet(fill_)) options->mode = ScaleMode::Fill;
  if (parser.isSet(stretch_)) options->mode = ScaleMode::Stretch;
  if (parser.isSet(align_) && !ParseAlignment(parser.value(align_), options))
    return bad(OptionProblem::Kind::BadAlignment, parser.value(align_));
  if (parser.isSet(background_) &&
      !ParseBackground(parser.value(background_), &options->background))
    return bad(OptionProblem::Kind::BadBackground, parser.value(background_));
  if (parser.isSet(threshold_) && !ParseThreshold(parser.value(threshold_), &options->threshold))
    return bad(OptionProblem::Kind::BadThreshold, parser.value(threshold_));
  options->dither = parser.isSet(dither_);
  options->invert = parser.isSet(invert_);
  return true;
}

}  // namespace kestrel::convert
