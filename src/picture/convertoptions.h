#pragma once

#include <QColor>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

#include "picture/logoconvert.h"

namespace kestrel::convert {

// Single option values; false for a bad one.
bool ParseThreshold(const QString& text, int* threshold);
bool ParseAlignment(const QString& text, ConvertOptions* options);
bool ParseBackground(const QString& text, QColor* colour);

// A picture option the command line cannot take, worded where it is shown (src/texts).
struct OptionProblem {
  enum class Kind { None, SeveralModes, BadThreshold, BadAlignment, BadBackground };
  Kind kind = Kind::None;
  QString value;  // as given
};

// The picture options every command line that converts pictures offers: --fit, --fill,
// --stretch, --align, --background, --threshold, --dither, --invert. Unset options keep
// ConvertOptions' defaults, so both programs convert alike.
class PictureOptions {
 public:
  PictureOptions();
  void addTo(QCommandLineParser& parser) const;
  // After a successful parse; false, and what is wrong, for a bad value or combination.
  bool read(const QCommandLineParser& parser, ConvertOptions* options,
            OptionProblem* problem) const;

 private:
  QCommandLineOption fit_;
  QCommandLineOption fill_;
  QCommandLineOption stretch_;
  QCommandLineOption align_;
  QCommandLineOption background_;
  QCommandLineOption threshold_;
  QCommandLineOption dither_;
  QCommandLineOption invert_;
};

}  // namespace kestrel::convert
