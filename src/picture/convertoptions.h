#pragma once

#include <QColor>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

#include "picture/logoconvert.h"

namespace kestrel::convert {

// Single option values; a bad one gives false and a one-line error.
bool ParseThreshold(const QString& text, int* threshold, QString* error);
bool ParseAlignment(const QString& text, ConvertOptions* options, QString* error);
bool ParseBackground(const QString& text, QColor* colour, QString* error);

// The picture options every command line that converts pictures offers: --fit, --fill,
// --stretch, --align, --background, --threshold, --dither, --invert. Unset options keep
// ConvertOptions' defaults, so both programs convert alike.
class PictureOptions {
 public:
  PictureOptions();
  void addTo(QCommandLineParser& parser) const;
  // After a successful parse; false with a one-line error for a bad value or combination.
  bool read(const QCommandLineParser& parser, ConvertOptions* options, QString* error) const;
  // Their lines for --help, ending with a line break.
  static QString HelpLines();

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
